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
#include "catalogue/engine.h"
#include "views/iconsource.h"

namespace tamro {

class CMainFrame;
class CPictureHost;
class CPictureWindows;
class Profile;

class CRXApp : public QObject {
  Q_OBJECT

 public:
  explicit CRXApp(Profile &profile);
  ~CRXApp() override;

  // The start-up sequence; false ends the program. `args` exclude the program name.
  bool InitInstance(const std::vector<std::string> &args);
  // Writes what the program keeps of this run (window, views, document, plug-in switches).
  void ExitInstance();

  CMainFrame *MainFrame() const { return frame_.get(); }
  CRXDoc *Doc() const { return engine_ ? &engine_->Doc() : nullptr; }
  CSpiHost &Host() { return engine_->Host(); }
  CatalogueEngine &Engine() { return *engine_; }
  CSplashWnd *Splash() const { return splash_; }
  const std::string &PluginFolder() const { return engine_->PluginFolder(); }

  // One idle call: lets the main frame run one step; stops the timer when no work is left.
  bool OnIdle();
  bool IdleRunning() const { return idle_.isActive(); }

 private:
  void WantIdle();
  void RestorePlacement();
  // Files named on the command line, once the plug-ins are loaded: an archive is listed,
  // pictures are selected and shown (CMainFrame::OpenFiles).
  void OpenStartFiles();

  Profile &profile_;
  QtIconSource icons_;
  std::unique_ptr<CatalogueEngine> engine_;
  QtUi ui_;
  std::unique_ptr<CMainFrame> frame_;
  std::unique_ptr<CPictureHost> pictureHost_;
  std::unique_ptr<CPictureWindows> pictures_;
  QPointer<CSplashWnd> splash_;
  QTimer idle_;
  int idleCount_ = 0;
  std::vector<std::string> startFiles_;
};

}  // namespace tamro
