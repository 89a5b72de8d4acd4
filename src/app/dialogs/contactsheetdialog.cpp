#include "app/dialogs/contactsheetdialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/dialogs/formparts.h"
#include "app/dialogs/outputcommand.h"
#include "catalogue/rxdoc.h"
#include "fileops/folders.h"
#include "output/contactsheet.h"

namespace tamro {

CContactSheetDialog::CContactSheetDialog(CContactSheetOption &option, QWidget *parent)
    : QDialog(parent), option_(option) {
  setWindowTitle(QStringLiteral("コンタクトシートの作成"));
  OutputFileRows form(this, 1);
  QGridLayout *grid = form.grid;
  folder_ = form.folder;
  fileName_ = form.fileName;
  columns_ = new QSpinBox(this);
  columns_->setObjectName("columns");
  rows_ = new QSpinBox(this);
  rows_->setObjectName("rows");
  for (QSpinBox *spin : {columns_, rows_}) spin->setRange(0, 999);
  fileType_ = new QComboBox(this);
  fileType_->setObjectName("fileType");
  fileType_->addItem(QStringLiteral("BMP ﾌｧｲﾙ形式"));
  fileType_->addItem(QStringLiteral("JPEG ﾌｧｲﾙ形式"));
  quality_ = new QSpinBox(this);
  quality_->setObjectName("quality");
  quality_->setRange(0, 100);

  int &row = form.row;
  form.Label("横x縦 個数：", columns_);
  auto *grid2 = new QHBoxLayout;
  grid2->addWidget(columns_);
  grid2->addWidget(new QLabel(QStringLiteral("x"), this));
  grid2->addWidget(rows_);
  grid2->addStretch();
  grid->addLayout(grid2, row++, 1, 1, 2);
  auto *note =
      new QLabel(QStringLiteral("頁当たりの画像数を制限する "
                                "(0:制限なし)\n*画像数を制限するとカタログファイル名に番号が付加されます）"),
                 this);
  grid->addWidget(note, row++, 1, 1, 2);

  form.Label("保存画像形式：", fileType_);
  auto *format = new QHBoxLayout;
  format->addWidget(fileType_);
  format->addSpacing(12);
  auto *qualityLabel = new QLabel(QStringLiteral("JPEG圧縮品質："), this);
  qualityLabel->setBuddy(quality_);
  format->addWidget(qualityLabel);
  format->addWidget(quality_);
  format->addStretch();
  grid->addLayout(format, row++, 1, 1, 2);
  grid->setColumnStretch(1, 1);

  const CreateCancelRow actions = FinishOutputDialog(this, grid, {}, [this] { OnCreate(); });

  FillHistoryBox(folder_, option.Folders(), option.folder);
  FillHistoryBox(fileName_, option.FileNames(), option.fileName);
  columns_->setValue(option.columns);
  rows_->setValue(option.rows);
  fileType_->setCurrentIndex(option.fileType == kSheetJpeg ? 1 : 0);
  quality_->setValue(option.jpegQuality);

  connect(form.browseFolder, &QPushButton::clicked, this,
          [this] { BrowseOutputFolder(this, folder_, option_.currentFolder); });
  ChainTabOrder({folder_, form.browseFolder, fileName_, columns_, rows_, fileType_, quality_, actions.create,
                 actions.cancel});
}

void CContactSheetDialog::OnCreate() {
  option_.folder = BoxText(folder_);
  option_.fileName = BoxText(fileName_);
  option_.columns = columns_->value();
  option_.rows = rows_->value();
  option_.fileType = fileType_->currentIndex() == 1 ? kSheetJpeg : kSheetBmp;
  option_.jpegQuality = quality_->value();
  if (option_.Accept()) {
    accept();
    return;
  }
  // The dialog stays open; the caret goes where something is missing.
  (fileName_->currentText().isEmpty() && !folder_->currentText().isEmpty() ? fileName_ : folder_)->setFocus();
}

void MakeContactSheet(CRXDoc &doc, CCellPainter &cells, QWidget *parent) {
  OutputCommandScope scope(doc, true);
  CContactSheetOption option;
  if (!AskOutputOption<CContactSheetDialog>(option, doc.Folder(), parent)) return;
  if (!EnsureFolder(option.outputFolder, false)) return;
  CellSheetPainter painter(cells);
  WriteContactSheets(doc, painter, option.columns, option.rows, option.OutputPath(), option.fileType,
                     option.jpegQuality, ViewBackgroundColour());
}

}  // namespace tamro
