#include "platform/logging.h"

Q_LOGGING_CATEGORY(lcStore, "tavirin.store", QtInfoMsg)
Q_LOGGING_CATEGORY(lcScheduler, "tavirin.scheduler", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAudio, "tavirin.audio", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRelay, "tavirin.relay", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMedia, "tavirin.media", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRadio, "tavirin.radio", QtInfoMsg)
Q_LOGGING_CATEGORY(lcShutdown, "tavirin.shutdown", QtInfoMsg)
Q_LOGGING_CATEGORY(lcUi, "tavirin.ui", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCalendar, "tavirin.calendar", QtInfoMsg)
Q_LOGGING_CATEGORY(lcJournal, "tavirin.journal", QtInfoMsg)
