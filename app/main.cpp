// The program's entry: translation, the user interface's hooks, the settings, then
// the windows and the message loop.
#include <QApplication>
#include <exception>

#include "catalogue/config.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/QtUiHooks.h"
#include "ui/StartApplication.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The catalogues are shipped beside the program or in its install prefix.
    const std::string locale = qm::TConfig::ShippedFolderOf(qm::TConfig::ProgramFileName(), "locale/");
    qm::InitTranslation(locale.empty() ? QCoreApplication::applicationDirPath().toStdString() + "/locale" : locale);
    qm::TQtUiHooks hooks;
    qm::SetUiHooks(&hooks);
    int result = 0;
    {
        qm::TGlobalConfig config;
        try {
            std::unique_ptr<qm::TApplicationWindows> windows = qm::StartApplication();
            if (windows) result = app.exec();
        } catch (const std::exception&) {
            // Its box was shown; the program ends.
            result = 1;
        }
    }
    qm::SetUiHooks(nullptr);
    return result;
}
