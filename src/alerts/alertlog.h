#pragma once

#include <QLoggingCategory>

// Alerts: their settings and their sending. QT_LOGGING_RULES="tavirin.alerts.debug=true"
Q_DECLARE_LOGGING_CATEGORY(lcAlerts)
