#pragma once

#include <QLoggingCategory>

// The network page: logins, sessions, the certificate. QT_LOGGING_RULES="tavirin.web.debug=true"
Q_DECLARE_LOGGING_CATEGORY(lcWeb)
