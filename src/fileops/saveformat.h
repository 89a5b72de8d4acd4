#pragma once

#include <string>

#include "output/history.h"
#include "picture/dibtypes.h"

namespace tamro {

class CPicEntry;
class CRXDoc;
class PictureDecoders;

// The logic of the "画像形式を指定してファイル保存" dialog, section "FileSave".
class CFileSaveOption {
 public:
  enum Format { kBmp = 0, kJpeg = 1 };
  enum SizeMode { kKeepSize = 0, kGivenSize = 1, kScaleFactor = 2 };

  CFileSaveOption();
  void Load();
  // OK: moves the folder text to the top of the history, writes the history and every
  // setting, and answers whether the dialog may close: the folder text is not empty and can
  // be made absolute (which replaces it), width and height are at least 1 for a given size,
  // the factor is above 0 for a scale factor.
  bool Accept();

  // The rotation page: 0 none, 1 right 90°, 2 180°, 3 left 90°, 4 the angle field.
  int RotationButton() const;
  void SetRotationButton(int button);
  // The factor as it is stored ("%g").
  std::string ScaleText() const;
  // The output file of a picture: the folder, its bare name and ".jpg" or ".bmp".
  std::string OutputPath(const CPicEntry &entry) const;
  const TextHistory &Folders() const { return folders_; }

  std::string folder;
  std::string currentFolder;  // the folder shown; a relative folder text is taken from it
  int format = kBmp;
  int sizeMode = kKeepSize;
  int width = 0, height = 0;
  int aspect = 1;  // shown and stored; proportions are always kept
  double scale = 1.0;
  int scaleMode = 0;  // 0, 1, 2, 3 or 10
  int unsharp = 0;
  int jpegQuality = 80;
  int rotateAngle = 0;  // degrees clockwise, 0 to 360

 private:
  TextHistory folders_;
};

// The picture of `entry` as the option makes it: rotated, fitted or scaled with the scaling
// method, sharpened when asked. The caller owns it; null when it cannot be decoded.
HDIB ConvertEntryPicture(PictureDecoders &decoders, const CPicEntry &entry, const CFileSaveOption &option);

// Saves the selected pictures of the document as the option says (the dialog was accepted).
// Answers the number of files written. An output folder that cannot be made, and the files
// that could not be written (each keeps what was there before), are reported in a message.
int SaveSelectedInFormat(CRXDoc &doc, PictureDecoders &decoders, const CFileSaveOption &option);

}  // namespace tamro
