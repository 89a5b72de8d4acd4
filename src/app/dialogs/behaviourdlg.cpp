#include "app/dialogs/behaviourdlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/dialogs/displaymodedialog.h"

namespace tamro {

namespace {

QString Q(const std::string &s) { return QString::fromStdString(s); }

}  // namespace

CBehaviourDlg::CBehaviourDlg(CRXDoc &doc, CSpiHost *host, UpdateObserver *sender, QWidget *parent)
    : QDialog(parent), doc_(doc), host_(host), sender_(sender), option_(doc, host) {
  setWindowTitle(QStringLiteral("動作設定"));
  DocSettings &s = option_.settings;
  auto *top = new QVBoxLayout(this);
  tabs_ = new QTabWidget(this);
  top->addWidget(tabs_);

  // Which files are listed, and where Tamro starts.
  auto *folder = new QWidget;
  tabs_->addTab(folder, QStringLiteral("フォルダ"));
  {
    auto *page = new QVBoxLayout(folder);
    auto *list = new QGroupBox(QStringLiteral("一覧"), folder);
    page->addWidget(list);
    auto *form = new QFormLayout(list);
    pathMask_ = new QLineEdit(Q(s.pathMask), list);
    pathMask_->setObjectName(QStringLiteral("PathMask"));
    pathMask_->setPlaceholderText(QStringLiteral("*.*"));
    pathMask_->setToolTip(QStringLiteral("例: *.jpg;*.png"));
    form->addRow(QStringLiteral("表示するファイル(&M):"), pathMask_);
    auto check = [&](const char *key, const QString &label, int *value) {
      QCheckBox *box = checks_.Add(key, label, value);
      box->setParent(list);
      form->addRow(box);
    };
    check("Archive", QStringLiteral("書庫ファイルの中も一覧する(&A)"), &s.archive);
    check("DownScan", QStringLiteral("サブフォルダのファイルも一覧する(&S)"), &s.downScan);
    check("ScanSPI", QStringLiteral("表示できるファイルだけを一覧する(&V)"), &s.scanSpi);
    check("SyncFind", QStringLiteral("読み込み中のファイルを順に表示する(&F)"), &s.syncFind);
    check("NaturalSort", QStringLiteral("名前の中の数字を数の大きさで並べる(&N)"), &s.naturalSort);

    auto *start = new QGroupBox(QStringLiteral("起動時"), folder);
    page->addWidget(start);
    auto *startForm = new QFormLayout(start);
    QCheckBox *restore =
        checks_.Add("RestoreFolder", QStringLiteral("前回のフォルダを開く(&R)"), &s.restoreFolder);
    restore->setParent(start);
    startForm->addRow(restore);
    auto *homeRow = new QHBoxLayout;
    homeFolder_ = new QLineEdit(Q(s.homeFolder), start);
    homeFolder_->setObjectName(QStringLiteral("HomeFolder"));
    homeFolder_->setToolTip(QStringLiteral("$(ExeDir) は Tamro のフォルダ、空欄はカレントフォルダ"));
    auto *browse = new QPushButton(QStringLiteral("参照(&B)..."), start);
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, [this] {
      const QString dir =
          QFileDialog::getExistingDirectory(this, QStringLiteral("起動フォルダ"), homeFolder_->text());
      if (!dir.isEmpty()) homeFolder_->setText(dir);
    });
    homeRow->addWidget(homeFolder_, 1);
    homeRow->addWidget(browse);
    // A row that is a layout gets no buddy of its own; the label needs one for its shortcut.
    auto *homeLabel = new QLabel(QStringLiteral("起動フォルダ(&H):"), start);
    homeLabel->setBuddy(homeFolder_);
    startForm->addRow(homeLabel, homeRow);
    page->addStretch(1);
  }

  // How thumbnails and captions are made, and the folder cache.
  auto *thumbs = new QWidget;
  tabs_->addTab(thumbs, QStringLiteral("サムネイル"));
  {
    auto *page = new QVBoxLayout(thumbs);
    auto *make = new QGroupBox(QStringLiteral("作成"), thumbs);
    page->addWidget(make);
    auto *form = new QFormLayout(make);
    auto check = [&](QWidget *group, QFormLayout *layout, const char *key, const QString &label, int *value) {
      QCheckBox *box = checks_.Add(key, label, value);
      box->setParent(group);
      layout->addRow(box);
    };
    nameFormat_ = new QLineEdit(Q(s.nameFormat), make);
    nameFormat_->setObjectName(QStringLiteral("NameFormat"));
    nameFormat_->setToolTip(QStringLiteral("例: \"$(PicName)\",\"$(PicSize)\""));
    form->addRow(QStringLiteral("キャプション書式(&C):"), nameFormat_);
    check(make, form, "ThumbsCreate", QStringLiteral("アイドル時にすべてのサムネイルを作成する(&I)"),
          &s.thumbsCreate);
    threads_ = new QSpinBox(make);
    threads_->setObjectName(QStringLiteral("Threads"));
    threads_->setRange(0, CBehaviourOption::kMaxThreads);
    threads_->setSpecialValueText(QStringLiteral("全コア"));
    threads_->setValue(s.threads);
    form->addRow(QStringLiteral("作成スレッド数(&T):"), threads_);
    check(make, form, "ExifRotate", QStringLiteral("Exif の向きに合わせて回転する(&E)"), &s.exifRotate);
    check(make, form, "ColorManage", QStringLiteral("埋め込みカラープロファイルの色を sRGB に変換する(&G)"),
          &s.colorManage);
    check(make, form, "CP", QStringLiteral("JPEG の説明文を読む (libcpdecode)(&P)"), &s.cp);

    auto *cache = new QGroupBox(QStringLiteral("フォルダキャッシュ"), thumbs);
    page->addWidget(cache);
    auto *cacheForm = new QFormLayout(cache);
    check(cache, cacheForm, "CacheFolder", QStringLiteral("フォルダキャッシュ (_THUMBS_.RXI) を使う(&U)"),
          &s.cacheFolder);
    check(cache, cacheForm, "AutoCacheFolder", QStringLiteral("フォルダ情報を自動で保存する(&A)"),
          &s.autoCacheFolder);
    page->addStretch(1);
  }

  // Deleting, dropping and following between the views.
  auto *operation = new QWidget;
  tabs_->addTab(operation, QStringLiteral("操作"));
  {
    auto *page = new QVBoxLayout(operation);
    auto *del = new QGroupBox(QStringLiteral("削除"), operation);
    page->addWidget(del);
    auto *delLayout = new QVBoxLayout(del);
    QCheckBox *trash = checks_.Add("TrashCan", QStringLiteral("ごみ箱へ移す(&T)"), &s.trashCan);
    trash->setParent(del);
    delLayout->addWidget(trash);
    QCheckBox *noAsk = checks_.Add("DELQA", QStringLiteral("ごみ箱を使わないときも確認しない(&Q)"), &s.delQA);
    noAsk->setParent(del);
    delLayout->addWidget(noAsk);
    // The question is only asked when deleting for good.
    noAsk->setEnabled(!trash->isChecked());
    connect(trash, &QCheckBox::toggled, noAsk, [noAsk](bool on) { noAsk->setEnabled(!on); });

    auto *view = new QGroupBox(QStringLiteral("表示と操作"), operation);
    page->addWidget(view);
    auto *form = new QFormLayout(view);
    auto check = [&](const char *key, const QString &label, int *value) {
      QCheckBox *box = checks_.Add(key, label, value);
      box->setParent(view);
      form->addRow(box);
    };
    check("DaDMOVE", QStringLiteral("ドロップで移動する（Ctrl でコピー）(&D)"), &s.dadMove);
    check("Synchronous", QStringLiteral("表示の同期（画像ウインドウとサムネイル）(&S)"), &s.synchronous);
    check("SyncJump", QStringLiteral("詳細リストをサムネイルのスクロールに合わせる(&J)"), &s.syncJump);
    check("FolderMonitor", QStringLiteral("フォルダの変更を監視する(&M)"), &s.folderMonitor);
    page->addStretch(1);
  }

  // What a new picture window starts with: the fields of its own "表示モード設定".
  auto *viewer = new QWidget;
  tabs_->addTab(viewer, QStringLiteral("画像ウインドウ"));
  {
    auto *page = new QVBoxLayout(viewer);
    viewer_ = new CDisplayModeForm(option_.viewer, s.sleepDraw, viewer);
    page->addWidget(viewer_);
    auto *note = new QLabel(QStringLiteral("新しく開く画像ウインドウから有効になります"), viewer);
    page->addWidget(note);
    page->addStretch(1);
  }

  // The decoder switches of the plug-in host.
  auto *decoders = new QWidget;
  tabs_->addTab(decoders, QStringLiteral("デコーダ"));
  {
    auto *page = new QVBoxLayout(decoders);
    auto *inner = new QGroupBox(QStringLiteral("内蔵デコーダ"), decoders);
    page->addWidget(inner);
    auto *grid = new QGridLayout(inner);
    const struct {
      const char *key;
      const char *label;
      int DocSettings::*field;
    } kInner[] = {
        {"#InnerBMP", "&BMP", &DocSettings::innerBmp},
        {"#InnerJPEG", "&JPEG", &DocSettings::innerJpeg},
        {"#InnerGIF", "&GIF", &DocSettings::innerGif},
        {"#InnerTIFF", "&TIFF", &DocSettings::innerTiff},
        {"#InnerTEXT", "テキスト(&X)", &DocSettings::innerText},
        {"#InnerAVI", "&AVI", &DocSettings::innerAvi},
        {"#InnerMPG", "&MPEG", &DocSettings::innerMpeg},
    };
    int n = 0;
    for (const auto &k : kInner) {
      QCheckBox *box = checks_.Add(k.key, QString::fromUtf8(k.label), &(s.*k.field));
      box->setParent(inner);
      grid->addWidget(box, n / 4, n % 4);
      ++n;
    }
    QCheckBox *fast =
        checks_.Add("#InnerJPEG_FAST", QStringLiteral("JPEG を縮小して速く読む(&F)"), &s.innerJpegFast);
    fast->setParent(inner);
    grid->addWidget(fast, 2, 0, 1, 4);

    auto *search = new QGroupBox(QStringLiteral("プラグイン"), decoders);
    page->addWidget(search);
    auto *form = new QVBoxLayout(search);
    auto check = [&](const char *key, const QString &label, int *value) {
      QCheckBox *box = checks_.Add(key, label, value);
      box->setParent(search);
      form->addWidget(box);
    };
    check("#PluginEXT", QStringLiteral("拡張子の合うデコーダだけを試す(&E)"), &s.pluginExt);
    check("#MacbinCheck", QStringLiteral("MacBinary ヘッダを飛ばして読み直す(&H)"), &option_.macBinCheck);
    check("DynamicSPI", QStringLiteral("使わないプラグインを読み込まない(&D)"), &s.dynamicSpi);
    check("SpiAlert", QStringLiteral("プラグイン内の例外を知らせる(&L)"), &option_.spiAlert);
    page->addStretch(1);
  }

  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  top->addWidget(buttons);
}

void CBehaviourDlg::Store() {
  checks_.Store();
  DocSettings &s = option_.settings;
  s.pathMask = pathMask_->text().toStdString();
  s.homeFolder = homeFolder_->text().toStdString();
  s.nameFormat = nameFormat_->text().toStdString();
  s.threads = threads_->value();
}

void CBehaviourDlg::accept() {
  // A refused zoom step keeps the dialog open on its page, with nothing taken.
  if (!viewer_->Take(option_.viewer, option_.settings.sleepDraw)) {
    tabs_->setCurrentWidget(viewer_->parentWidget());
    return;
  }
  Store();
  changes_ = option_.Confirm(doc_, host_, sender_);
  QDialog::accept();
}

BehaviourChanges RunBehaviourDialog(CRXDoc &doc, CSpiHost *host, UpdateObserver *sender, QWidget *parent) {
  CBehaviourDlg dialog(doc, host, sender, parent);
  dialog.exec();
  return dialog.Changes();
}

}  // namespace tamro
