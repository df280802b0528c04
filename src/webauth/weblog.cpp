#include "webauth/weblog.h"

Q_LOGGING_CATEGORY(lcWeb, "tavirin.web", QtInfoMsg)
