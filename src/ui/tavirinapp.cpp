#include "ui/tavirinapp.h"

#include "model/form1layout.h"
#include "model/formmodel.h"
#include "outputs/amplifierrelay.h"
#include "platform/clock.h"
#include "platform/gui/widgetdialogs.h"
#include "platform/logging.h"
#include "platform/serial/qtseriallines.h"
#include "platform/settings/inisettingsbackend.h"
#include "scheduler/arming.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"
#include "ui/form1.h"
#include "ui/startup.h"
#include "ui/twips.h"

#include <QGuiApplication>
#include <QScreen>

namespace tavirin {

struct TavirinApp::Parts {
    SystemClock clock;
    IniSettingsBackend backend{clock};
    ProgramStore store{backend};
    SoundLibrary library{SoundLibrary::defaultRoot()};
    WidgetDialogs dialogs;
    QtSerialLines serial;
    FormModel form;
    Arming arming{form, store, clock, library};
    std::unique_ptr<AmplifierRelay> relay;
    std::unique_ptr<Form1> window;

    Parts() {
        buildForm1(form);
        relay = std::make_unique<AmplifierRelay>(form, store, serial, dialogs);
        window = std::make_unique<Form1>(form);
        dialogs.setParent(window.get());
    }
};

TavirinApp::TavirinApp() : d_(std::make_unique<Parts>()) {}
TavirinApp::~TavirinApp() = default;

Form1& TavirinApp::window() { return *d_->window; }

bool TavirinApp::start() {
    loadMainWindow(d_->form, d_->store, d_->library, d_->arming, *d_->relay);
    d_->window->setBackgroundPicture(loadBackground(d_->library));

    // Shown at its place: 1200 twips from the top of the screen, centred across.
    const Twips tw = Twips::forWidget(d_->window.get());
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int x = screen ? (screen->availableGeometry().width() - d_->window->width()) / 2 : 0;
    d_->window->move(qMax(0, x), tw.toPx(1200));
    d_->window->show();
    return true;
}

}  // namespace tavirin
