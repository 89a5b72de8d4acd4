#include "app/dialogs/printdialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPaintEngine>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/dialogs/formparts.h"
#include "app/printerdevice.h"
#include "catalogue/cellpainter.h"
#include "fileops/foldermonitor.h"
#include "output/entrypicture.h"
#include "output/printdocsource.h"
#include "output/printlayout.h"

namespace tamro {

CPrintDialog::CPrintDialog(CRXDoc &doc, CCellPainter &cells, QWidget *parent)
    : QDialog(parent),
      doc_(doc),
      cells_(cells),
      printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
  setWindowTitle(QStringLiteral("印刷"));
  option_.Load();

  definition_ = MakeHistoryBox(this);
  definition_->setObjectName("definition");
  FillHistoryBox(definition_, option_.Files(), option_.definitionFile);
  auto *browse = new QPushButton(QStringLiteral("参照..."), this);
  browse->setObjectName("browse");
  auto *label = new QLabel(QStringLiteral("印刷定義ﾌｧｲﾙ："), this);
  label->setBuddy(definition_);
  auto *grid = new QGridLayout;
  grid->addWidget(label, 0, 0);
  grid->addWidget(definition_, 0, 1);
  grid->addWidget(browse, 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("空欄のときは1頁に1画像を印刷します"), this), 1, 1, 1, 2);
  grid->setColumnStretch(1, 1);

  auto *print = new QPushButton(QStringLiteral("印刷..."), this);
  print->setObjectName("print");
  print->setDefault(true);
  auto *preview = new QPushButton(QStringLiteral("プレビュー..."), this);
  preview->setObjectName("preview");
  auto *cancel = new QPushButton(QStringLiteral("キャンセル"), this);
  auto *buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(print);
  buttons->addWidget(preview);
  buttons->addWidget(cancel);

  auto *all = new QVBoxLayout(this);
  all->addLayout(grid);
  all->addSpacing(6);
  all->addLayout(buttons);
  all->setSizeConstraint(QLayout::SetFixedSize);

  connect(browse, &QPushButton::clicked, this, &CPrintDialog::Browse);
  connect(print, &QPushButton::clicked, this, &CPrintDialog::OnPrint);
  connect(preview, &QPushButton::clicked, this, &CPrintDialog::OnPreview);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  ChainTabOrder({definition_, browse, print, preview, cancel});
}

CPrintDialog::~CPrintDialog() = default;

void CPrintDialog::TakeDefinition() { option_.definitionFile = BoxText(definition_); }

int CPrintDialog::PrintTo(QPrinter &printer, bool fromPreview) {
  CPrinterDevice device(printer, fromPreview);
  CThumbBuilder *builder = cells_.Builder();
  CPrintDocSource source(
      doc_,
      [builder](CPicEntry &entry) { return builder ? LoadEntryPicture(*builder, entry, 0, 0) : nullptr; },
      cells_.Icons(), [](int mode) { SetMonitorMode(mode); });
  return CPrintLayout(source).PrintSelected(device, option_.definitionFile);
}

void CPrintDialog::OnPrint() {
  TakeDefinition();
  QPrintDialog chooser(printer_.get(), this);
  if (chooser.exec() != QDialog::Accepted) return;
  option_.Accept();
  accept();
}

void CPrintDialog::OnPreview() {
  TakeDefinition();
  option_.Accept();
  QPrintPreviewDialog preview(printer_.get(), this);
  preview.setWindowTitle(QStringLiteral("印刷プレビュー"));
  // The preview keeps every page it draws: at the screen's resolution, with the pictures reduced
  // to what they cover, fifty photographs take megabytes instead of gigabytes. Its own print
  // button sends the job through the same path at the printer's resolution.
  const int printerDpi = printer_->resolution();
  const int screenDpi = std::clamp(qRound(logicalDpiX() * devicePixelRatioF()), 72, 300);
  connect(
      &preview, &QPrintPreviewDialog::paintRequested, this, [this, printerDpi, screenDpi](QPrinter *printer) {
        const QPaintEngine *engine = printer->paintEngine();
        printer->setResolution(engine && engine->type() == QPaintEngine::Picture ? screenDpi : printerDpi);
        PrintTo(*printer, true);
      });
  preview.exec();
  printer_->setResolution(printerDpi);
}

void CPrintDialog::Browse() {
  QFileDialog chooser(this, QStringLiteral("ファイルを開く"),
                      QString::fromStdString(CPrintOption::BrowseFolder()));
  chooser.setFileMode(QFileDialog::ExistingFile);
  chooser.setNameFilter(QString::fromUtf8(CPrintOption::kFilterName));
  if (chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty())
    definition_->setEditText(chooser.selectedFiles().front());
}

void PrintPictures(CRXDoc &doc, CCellPainter &cells, QWidget *parent) {
  CPrintDialog dialog(doc, cells, parent);
  if (dialog.exec() != QDialog::Accepted) return;
  dialog.PrintTo(dialog.Printer(), false);
}

}  // namespace tamro
