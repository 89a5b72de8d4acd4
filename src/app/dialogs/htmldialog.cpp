#include "app/dialogs/htmldialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/dialogs/formparts.h"
#include "app/dialogs/outputcommand.h"
#include "catalogue/cellpainter.h"
#include "catalogue/picentry.h"
#include "catalogue/rxdoc.h"
#include "fileops/folders.h"
#include "output/entrypicture.h"
#include "output/htmlcatalog.h"
#include "platform/startup.h"
#include "platform/ui.h"

namespace tamro {

namespace {

QLabel *Note(const char *text, QWidget *parent) {
  auto *label = new QLabel(QString::fromUtf8(text), parent);
  label->setWordWrap(true);
  return label;
}

}  // namespace

CHtmlDialog::CHtmlDialog(CHtmlOption &option, QWidget *parent) : QDialog(parent), option_(option) {
  setWindowTitle(QStringLiteral("HTMLの作成"));
  OutputFileRows form(this, 2);
  QGridLayout *grid = form.grid;
  folder_ = form.folder;
  fileName_ = form.fileName;
  template_ = MakeHistoryBox(this);
  template_->setObjectName("template");
  auto *browseTemplate = new QPushButton(QStringLiteral("参照..."), this);
  browseTemplate->setObjectName("browseTemplate");
  pageCount_ = new QSpinBox(this);
  pageCount_->setObjectName("pageCount");
  pageCount_->setRange(0, 100);

  int &row = form.row;
  form.Label("HTML形式定義ﾌｧｲﾙ：", template_);
  grid->addWidget(template_, row, 1, 1, 2);
  grid->addWidget(browseTemplate, row++, 3);
  form.Label("頁当たりの画像数を制限：\n (0:制限なし)", pageCount_);
  grid->addWidget(pageCount_, row, 1);
  grid->addWidget(Note("画像数を制限するとページ処理され、ファイル名に番号が付加されます", this), row++, 2, 1,
                  2);
  grid->setColumnStretch(2, 1);

  jpegSave_ = new QCheckBox(QStringLiteral("リンク画像を別にJPEG形式で保存"), this);
  jpegSave_->setObjectName("jpegSave");
  quality_ = new QSpinBox(this);
  quality_->setObjectName("quality");
  quality_->setRange(0, 100);
  resize_ = new QCheckBox(QStringLiteral("リサイズ"), this);
  resize_->setObjectName("resize");
  auto *jpeg = new QGridLayout;
  jpeg->addWidget(jpegSave_, 0, 0, 1, 3);
  auto *qualityLabel = new QLabel(QStringLiteral("JPEG圧縮品質\n（0:低品質～100:高品質）"), this);
  qualityLabel->setBuddy(quality_);
  jpeg->addWidget(qualityLabel, 1, 0);
  jpeg->addWidget(quality_, 1, 1);
  jpeg->addWidget(resize_, 2, 0);
  jpeg->addWidget(Note("ファイル名は Tm-[FileName].JPG", this), 2, 1, 1, 2);
  jpeg->addWidget(Note("JPEG保存を指示しない場合、元画像にリンクをはります", this), 3, 0, 1, 3);
  jpeg->setColumnStretch(2, 1);
  jpeg->setContentsMargins(20, 0, 0, 0);

  const CreateCancelRow actions = FinishOutputDialog(this, grid, {jpeg}, [this] { OnCreate(); });

  FillHistoryBox(folder_, option.Folders(), option.folder);
  FillHistoryBox(fileName_, option.FileNames(), option.fileName);
  for (const std::string &item : option.TemplateChoices()) template_->addItem(QString::fromStdString(item));
  template_->setEditText(QString::fromStdString(option.templateFile));
  // Empty is a valid answer: the built-in template.
  template_->lineEdit()->setPlaceholderText(QStringLiteral("空欄のときは標準の形式"));
  pageCount_->setValue(option.pageCount);
  jpegSave_->setChecked(option.jpegSave);
  quality_->setValue(option.jpegQuality);
  resize_->setChecked(option.jpegResize);

  connect(form.browseFolder, &QPushButton::clicked, this,
          [this] { BrowseOutputFolder(this, folder_, option_.currentFolder); });
  connect(browseTemplate, &QPushButton::clicked, this, &CHtmlDialog::BrowseTemplate);

  ChainTabOrder({folder_, form.browseFolder, fileName_, template_, browseTemplate, pageCount_, jpegSave_,
                 quality_, resize_, actions.create, actions.cancel});
}

void CHtmlDialog::OnCreate() {
  option_.folder = BoxText(folder_);
  option_.fileName = BoxText(fileName_);
  option_.templateFile = BoxText(template_);
  option_.pageCount = pageCount_->value();
  option_.jpegSave = jpegSave_->isChecked();
  option_.jpegQuality = quality_->value();
  option_.jpegResize = resize_->isChecked();
  if (option_.Accept()) {
    accept();
    return;
  }
  // The dialog stays open, says why, and the caret goes where something is missing.
  Ui().MessageBox(option_.Refusal(), "HTMLの作成", MB_OK | MB_ICONEXCLAMATION);
  for (QComboBox *box : {folder_, fileName_})
    if (box->currentText().isEmpty()) return box->setFocus();
  folder_->setFocus();
}

void CHtmlDialog::BrowseTemplate() {
  // The program's own templates lie in its shared data folder.
  const std::string data = DataFolder();
  QFileDialog chooser(this, QStringLiteral("HTML定義ファイルの選択"),
                      QString::fromStdString(data.empty() ? ExecutableFolder() : data));
  chooser.setFileMode(QFileDialog::ExistingFile);
  chooser.setNameFilters({QStringLiteral("Tamro HTML files(*.rxm)"), QStringLiteral("all files(*)")});
  chooser.selectFile(QStringLiteral("Default.rxm"));
  if (chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty())
    template_->setEditText(chooser.selectedFiles().front());
}

void MakeHtmlCatalogue(CRXDoc &doc, CCellPainter &cells, QWidget *parent) {
  OutputCommandScope scope(doc, true);
  CHtmlOption option;
  if (!AskOutputOption<CHtmlDialog>(option, doc.Folder(), parent)) return;
  CThumbBuilder *builder = cells.Builder();
  CHtmlCatalog catalog(doc, [builder](CPicEntry &entry, int width, int height) {
    return builder ? LoadEntryPicture(*builder, entry, width, height) : nullptr;
  });
  catalog.Configure(option);
  if (!EnsureFolder(option.outputFolder, false)) return;
  catalog.WriteHtmlCatalogue(option.OutputFile());
}

}  // namespace tamro
