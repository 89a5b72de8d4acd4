#pragma once

// The application: start-up in its fixed order, the idle handler, and everything that lives
// as long as the program (plug-in host, document, thumbnail machinery, main window).

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "app/qtui.h"
#include "app/splash.h"
#include "catalogue/cellpainter.h"
#include "catalogue/hostdecoders.h"
#include "catalogue/hostdecoders.h"
#include "catalogue/thumbstore.h"
#include "decode/spihost.h"
#include "views/iconsource.h"

namespace tamro {

class CMainFrame;
class CRXDoc;
class CThumbBuilder;
class Profile;

class CRXApp : public QObject {
  Q_OBJECT

 public:
  explicit CRXApp(Profile &profile);
  ~CRXApp() override;

  // The start-up sequence; false ends the program. `args` exclude the program name.
  bool InitInstance(const std::vector<std::string> &args);

  CMainFrame *MainFrame() const { return frame_.get(); }
  CRXDoc *Doc() const { return doc_.get(); }
  CSpiHost &Host() { return host_; }
  CSplashWnd *Splash() const { return splash_; }
  const std::string &PluginFolder() const { return pluginFolder_; }

  // One idle call: lets the main frame run one step; stops the timer when no work is left.
  bool OnIdle();
  bool IdleRunning() const { return idle_.isActive(); }

 private:
  void WantIdle();
  void RestorePlacement();

  Profile &profile_;
  std::string pluginFolder_;
  CSpiHost host_;
  HostDecoders pictures_{host_};
  HostDecoders listing_{host_};
  CThumbStore store_{&pictures_};
  std::unique_ptr<CRXDoc> doc_;
  std::unique_ptr<CThumbBuilder> builder_;
  QtIconSource icons_;
  std::unique_ptr<CCellPainter> painter_;
  QtUi ui_;
  std::unique_ptr<CMainFrame> frame_;
  QPointer<CSplashWnd> splash_;
  QTimer idle_;
  int idleCount_ = 0;
};

}  // namespace tamro
