#include "app/aboutbox.h"

#include <sys/utsname.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QProgressBar>
#include <QUrl>
#include <QVBoxLayout>
#include <QtGlobal>
#include <cstdio>

#include "platform/startup.h"

namespace tamro {

namespace {

// When the program did not name its version (tests), this one stands.
constexpr const char *kProductVersion = "0.1.0";

QString Fill(const char *pattern, const QString &value) {
  QString text = QString::fromUtf8(pattern);
  return text.replace(QStringLiteral("%s"), value);
}

void OpenInBrowser(const QUrl &url, QWidget *parent) {
  if (!QDesktopServices::openUrl(url))
    QMessageBox::warning(parent, QStringLiteral("Tamro"),
                         QStringLiteral("ブラウザを起動できませんでした\n%1").arg(url.toDisplayString()));
}

QProgressBar *Gauge(uint64_t available, uint64_t total, QWidget *parent) {
  auto *bar = new QProgressBar(parent);
  bar->setRange(0, 1000);
  bar->setValue(total ? static_cast<int>(available * 1000 / total) : 0);
  bar->setTextVisible(false);
  return bar;
}

}  // namespace

MemoryFigures ReadMemoryFigures() {
  MemoryFigures m;
  QFile f(QStringLiteral("/proc/meminfo"));
  if (!f.open(QIODevice::ReadOnly)) return m;
  uint64_t swapTotal = 0, swapFree = 0;
  for (const QByteArray &line : f.readAll().split('\n')) {
    const QList<QByteArray> parts = line.simplified().split(' ');
    if (parts.size() < 2) continue;
    const uint64_t kb = parts[1].toULongLong();
    if (parts[0] == "MemTotal:") m.totalPhysical = kb * 1024;
    else if (parts[0] == "MemAvailable:") m.freePhysical = kb * 1024;
    else if (parts[0] == "SwapTotal:") swapTotal = kb * 1024;
    else if (parts[0] == "SwapFree:") swapFree = kb * 1024;
  }
  m.totalVirtual = m.totalPhysical + swapTotal;
  m.freeVirtual = m.freePhysical + swapFree;
  return m;
}

QString FormatKilobytes(uint64_t bytes) {
  return QLocale(QLocale::English).toString(static_cast<qulonglong>(bytes / 1024)) + QStringLiteral(" KB");
}

CAboutBox::CAboutBox(QWidget *parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("バージョン情報"));
  auto *layout = new QVBoxLayout(this);
  const QString version = QCoreApplication::applicationVersion();
  layout->addWidget(
      new QLabel(Fill("Tamro Version %s", version.isEmpty() ? QString::fromUtf8(kProductVersion) : version), this));
  const MemoryFigures m = ReadMemoryFigures();
  layout->addWidget(new QLabel(Fill("物理ﾒﾓﾘｻｲｽﾞ %s", FormatKilobytes(m.totalPhysical)), this));
  layout->addWidget(new QLabel(Fill("空きﾒﾓﾘｻｲｽﾞ %s", FormatKilobytes(m.freePhysical)), this));
  layout->addWidget(Gauge(m.freePhysical, m.totalPhysical, this));
  layout->addWidget(new QLabel(Fill("仮想ﾒﾓﾘｻｲｽﾞ %s", FormatKilobytes(m.totalVirtual)), this));
  layout->addWidget(new QLabel(Fill("空きﾒﾓﾘｻｲｽﾞ %s", FormatKilobytes(m.freeVirtual)), this));
  layout->addWidget(Gauge(m.freeVirtual, m.totalVirtual, this));
  struct utsname u {};
  const QString kernel = uname(&u) == 0 ? QString::fromUtf8(u.release) : QStringLiteral("?");
  layout->addWidget(new QLabel(Fill("Qt Version %s", QString::fromUtf8(qVersion())), this));
  layout->addWidget(new QLabel(Fill("Linux Version %s", kernel), this));
  auto *link =
      new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(HomePageAddress().toHtmlEscaped()), this);
  link->setOpenExternalLinks(true);
  layout->addWidget(link);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

QString HomePageAddress() { return QStringLiteral(TAMRO_HOMEPAGE); }

void OpenHelpContents(QWidget *parent) {
  const QString folder = QString::fromStdString(DocFolder());
  const QString index = folder + QStringLiteral("/index.html");
  if (folder.isEmpty() || !QFileInfo(index).isFile()) {
    QMessageBox::warning(parent, QStringLiteral("Tamro"), QStringLiteral("ヘルプファイルが見つかりません"));
    return;
  }
  OpenInBrowser(QUrl::fromLocalFile(index), parent);
}

void OpenHomePage(QWidget *parent) { OpenInBrowser(QUrl(HomePageAddress()), parent); }

}  // namespace tamro
