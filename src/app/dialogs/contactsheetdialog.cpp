#include "app/dialogs/contactsheetdialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/dialogs/formparts.h"
#include "app/dialogs/outputcommand.h"
#include "fileops/folders.h"
#include "output/contactsheet.h"

namespace tamro {

CContactSheetDialog::CContactSheetDialog(CContactSheetOption &option, QWidget *parent)
    : QDialog(parent), option_(option) {
  setWindowTitle(QStringLiteral("コンタクトシートの作成"));
  auto *grid = new QGridLayout;

  folder_ = MakeHistoryBox(this);
  folder_->setObjectName("folder");
  auto *browse = new QPushButton(QStringLiteral("参照..."), this);
  browse->setObjectName("browseFolder");
  fileName_ = MakeHistoryBox(this);
  fileName_->setObjectName("fileName");
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

  int row = 0;
  auto label = [&](const char *text, QWidget *buddy) {
    auto *l = new QLabel(QString::fromUtf8(text), this);
    l->setBuddy(buddy);
    grid->addWidget(l, row, 0);
  };
  label("保存先フォルダ：", folder_);
  grid->addWidget(folder_, row, 1);
  grid->addWidget(browse, row++, 2);
  label("ファイル名書式：", fileName_);
  grid->addWidget(fileName_, row++, 1);

  label("横x縦 個数：", columns_);
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

  label("保存画像形式：", fileType_);
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

  const CreateCancelRow actions = MakeCreateCancelRow(this);
  QPushButton *create = actions.create, *cancel = actions.cancel;
  QHBoxLayout *buttons = actions.row;

  auto *all = new QVBoxLayout(this);
  all->addLayout(grid);
  all->addSpacing(6);
  all->addLayout(buttons);
  all->setSizeConstraint(QLayout::SetFixedSize);

  FillHistoryBox(folder_, option.Folders(), option.folder);
  FillHistoryBox(fileName_, option.FileNames(), option.fileName);
  columns_->setValue(option.columns);
  rows_->setValue(option.rows);
  fileType_->setCurrentIndex(option.fileType == kSheetJpeg ? 1 : 0);
  quality_->setValue(option.jpegQuality);

  connect(browse, &QPushButton::clicked, this, &CContactSheetDialog::BrowseFolder);
  connect(create, &QPushButton::clicked, this, &CContactSheetDialog::OnCreate);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  ChainTabOrder({folder_, browse, fileName_, columns_, rows_, fileType_, quality_, create, cancel});
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

void CContactSheetDialog::BrowseFolder() {
  QFileDialog chooser(this, QStringLiteral("保存先を選択してください"), folder_->currentText());
  chooser.setFileMode(QFileDialog::Directory);
  chooser.setOption(QFileDialog::ShowDirsOnly);
  if (chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty())
    folder_->setEditText(chooser.selectedFiles().front());
}

void MakeContactSheet(CRXDoc &doc, CCellPainter &cells, QWidget *parent) {
  OutputCommandScope scope(doc, true);
  CContactSheetOption option;
  option.Load();
  {
    CContactSheetDialog dialog(option, parent);
    if (dialog.exec() != QDialog::Accepted) return;
  }
  if (!EnsureFolder(option.outputFolder, false)) return;
  CellSheetPainter painter(cells);
  WriteContactSheets(doc, painter, option.columns, option.rows, option.OutputPath(), option.fileType,
                     option.jpegQuality, ViewBackgroundColour());
}

}  // namespace tamro
