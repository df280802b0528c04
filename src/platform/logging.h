#pragma once

#include <QLoggingCategory>

// One category per subsystem, so that QT_LOGGING_RULES="tavirin.audio.debug=true" turns on one alone.
Q_DECLARE_LOGGING_CATEGORY(lcStore)
Q_DECLARE_LOGGING_CATEGORY(lcScheduler)
Q_DECLARE_LOGGING_CATEGORY(lcAudio)
Q_DECLARE_LOGGING_CATEGORY(lcRelay)
Q_DECLARE_LOGGING_CATEGORY(lcMedia)
Q_DECLARE_LOGGING_CATEGORY(lcRadio)
Q_DECLARE_LOGGING_CATEGORY(lcShutdown)
Q_DECLARE_LOGGING_CATEGORY(lcUi)
Q_DECLARE_LOGGING_CATEGORY(lcJournal)
