// The public entry: the one presenter of the process, and the QApplication
// when the host brought none.
#include <QApplication>
#include <QLoggingCategory>
#include <QStyleFactory>
#include <cstdlib>
#include <memory>

#include "presenter.h"
#include "xev/xevqt.h"

namespace xevqt {
namespace {

struct Installation {
  std::unique_ptr<QApplication> application;  // only when made here
  std::unique_ptr<Presenter> presenter;
  int argc = 1;
  char programName[4] = "xev";
  char* argv[2] = {programName, nullptr};
};

// The installed presenter of the process; null while none is installed.
Installation* g_installation = nullptr;

bool HasEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// Qt ends the process when its platform cannot start; without a display to
// connect to, saying no is kinder.
bool CanStartPlatform(const char* platform) {
  if (platform != nullptr && *platform != '\0') return true;
  return HasEnvironment("QT_QPA_PLATFORM") || HasEnvironment("DISPLAY") || HasEnvironment("WAYLAND_DISPLAY");
}

}  // namespace

Presenter* InstalledPresenter() { return g_installation != nullptr ? g_installation->presenter.get() : nullptr; }

}  // namespace xevqt

using xevqt::g_installation;

extern "C" XEV_API int32_t XEV_CALL XevQtInstall(int* argc, char** argv, const XevQtOptions* options) {
  if (g_installation != nullptr) return 1;
  const char* platform = options != nullptr ? options->platform : nullptr;
  auto installation = std::make_unique<xevqt::Installation>();
  QCoreApplication* existing = QCoreApplication::instance();
  if (existing != nullptr && qobject_cast<QApplication*>(existing) == nullptr) return 0;
  if (existing == nullptr) {
    if (!xevqt::CanStartPlatform(platform)) return 0;
    if (platform != nullptr && *platform != '\0') qputenv("QT_QPA_PLATFORM", platform);
    // The offscreen platform says it cannot do what a desktop does at every
    // window; that is expected there.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.qpa.*=false"));
    bool hostArguments = argc != nullptr && argv != nullptr && *argc > 0;
    installation->application = std::make_unique<QApplication>(hostArguments ? *argc : installation->argc,
                                                                hostArguments ? argv : installation->argv);
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(style);
  }
  QString screenshot = options != nullptr && options->screenshotPath != nullptr
                           ? QString::fromLocal8Bit(options->screenshotPath)
                           : QString();
  installation->presenter = std::make_unique<xevqt::Presenter>(screenshot);
  installation->presenter->Register();
  g_installation = installation.release();
  return 1;
}

extern "C" XEV_API void XEV_CALL XevQtUninstall(void) {
  delete g_installation;
  g_installation = nullptr;
}
