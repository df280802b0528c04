#include "alerts/alertlog.h"

Q_LOGGING_CATEGORY(lcAlerts, "tavirin.alerts", QtInfoMsg)
