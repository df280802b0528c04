#include "ui/startup.h"

#include "model/formmodel.h"
#include "outputs/amplifierrelay.h"
#include "outputs/shutdownarming.h"
#include "platform/logging.h"
#include "scheduler/arming.h"
#include "store/firstrun.h"
#include "store/keylayout.h"
#include "store/programstore.h"
#include "store/soundlibrary.h"

#include <QDir>

namespace tavirin {

QStringList listVoices(const SoundLibrary& library) {
    QDir dir(library.voicesFolder());
    QStringList voices;
    const auto entries = dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& e : entries)
        if (!e.fileName().contains(u'.')) voices << e.fileName();
    if (!dir.exists()) qCWarning(lcUi) << "no voice folder" << dir.path();
    return voices;
}

QPixmap loadBackground(const SoundLibrary& library) {
    QPixmap pm(library.backgroundPicture());
    if (pm.isNull())
        qCWarning(lcUi) << "background" << library.backgroundPicture()
                        << "cannot be loaded; using the built-in one";
    return pm;
}

void loadMainWindow(FormModel& form, ProgramStore& store, const SoundLibrary& library,
                    Arming& arming, AmplifierRelay& relay) {
    form.setValue(QStringLiteral("afterBellMedia"), QStringLiteral("0"));
    form.setItems(QStringLiteral("Combo54"), listVoices(library));

    bool marker = false;
    {
        // The first run's 901 values and the marker reach the disk in one sync.
        ProgramStore::Burst burst(store);
        if (isFirstRun(store)) {
            qCInfo(lcStore) << "first start: writing the first-run programs";
            if (Result r = seedFirstRun(store, library); !r)
                qCWarning(lcStore) << "first-run values not all written:" << r.error;
        }
        marker = writeFirstRunMarker(store);
        if (Result r = burst.finish(); !r) qCWarning(lcStore) << "start-up write failed:" << r.error;
    }
    if (marker) {
        if (Result r = repairGlobals(store); !r)
            qCWarning(lcStore) << "start-up repair failed:" << r.error;
        arming.loadTodayForStartUp();
    } else {
        qCWarning(lcStore) << "the store does not keep the first-run marker; today's program "
                              "is not loaded";
    }

    const QString port = relay.loadCurrentPort();
    bool isPort = false;
    const int n = port.toInt(&isPort);
    if (isPort && n >= 1 && n <= 7) form.setComboText(QStringLiteral("Combo53"), QStringLiteral("COM") + port);
    form.setText(QStringLiteral("Label21"), QStringLiteral("Port COM") + port);
    relay.configure();

    applyEnableRule(form);
    setVoiceBoxes(form, form.text(QStringLiteral("Text2")), true);
    for (int i = 1; i <= 3; ++i)
        form.setText(QStringLiteral("radio%1").arg(i),
                     store.GetSetting(keys::kBaseApplication, keys::kRadioOnline, keys::radioOnline(i)));
    const QString day7 = store.GetSetting(keys::kBaseApplication, keys::kDay7, keys::kDay7Key);
    if (day7 == QLatin1String("1"))
        form.setChecked(QStringLiteral("Check29"), true);
    else if (day7 == QLatin1String("0"))
        form.setChecked(QStringLiteral("Check29"), false);
    chk29(form);
}

}  // namespace tavirin
