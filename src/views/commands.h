#pragma once

// Command numbers of the main window, the grid and its context menus. Where the program's
// numbers are fixed (they are stored, e.g. IDViewer, or shared with other windows) they are
// kept; the document commands whose numbers nobody stores take numbers of their own.

namespace tamro {

enum Command : int {
  // Fixed numbers.
  kCmdEnlarge = 32771,       // "サムネイル拡大"
  kCmdShrink = 32772,        // "サムネイル縮小"
  kCmdNextPage = 32773,      // PageDown
  kCmdPreviousPage = 32774,  // PageUp
  kCmdScrollBottom = 32775,  // End
  kCmdScrollTop = 32776,     // Home
  kCmdViewer = 32782,        // "画像表示": the hover entry in a picture window
  kCmdSelectAll = 32793,     // Ctrl+A
  kCmdReload = 32798,        // "再読み込み"
  kCmdWallpaper = 10042,     // "壁紙設定(&W)..."
  kCmdRebuildThumbs = 10071,
  kCmdRunAssociated = 10078,  // "関連付け実行(&X)"
  kCmdUnpackSelected = 10085,
  kCmdUnpackEntry = 10086,
  kCmdLeft = 10087,
  kCmdRight = 10088,
  kCmdUp = 10089,
  kCmdDown = 10090,
  kCmdOpenAnchor = 10091,  // Enter
  kCmdCopyClipboard = 57634,
  kCmdPaste = 57637,
  kCmdFileOpen = 57601,     // the framework's Open
  kCmdRecentFile1 = 57616,  // the framework's recent-file list, one number per entry
  kCmdRecentFileLast = 57619,
  kCmdFirstApp = 20000,  // external application n is 20000 + n
  kCmdLastApp = 20099,

  // Tamro's own numbers.
  kCmdCopyFiles = 10201,
  kCmdMoveFiles = 10202,
  kCmdRenameEach = 10203,
  kCmdRenameSequential = 10204,
  kCmdDeleteFiles = 10205,
  kCmdSaveInFormat = 10206,
  kCmdRegisterApps = 10207,
  kCmdEditNote = 10208,
  kCmdHtml = 10209,
  kCmdContactSheet = 10210,
  kCmdPrint = 10211,
  kCmdReport = 10212,
  kCmdBehaviour = 10213,
  kCmdThumbOption = 10214,
  kCmdPluginSet = 10215,
  kCmdSaveFolderInfo = 10216,
  kCmdRefresh = 10217,
  kCmdSynchronous = 10218,
  kCmdCloseAllPictures = 10219,
  kCmdTilePictures = 10230,
};

inline bool IsAppCommand(int id) { return id >= kCmdFirstApp && id <= kCmdLastApp; }

}  // namespace tamro
