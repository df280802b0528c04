#include "webauth/webrole.h"

namespace tavirin {

QString roleId(WebRole role) {
    switch (role) {
        case WebRole::Admin:
            return QStringLiteral("admin");
        case WebRole::Teacher:
            return QStringLiteral("teacher");
    }
    return {};
}

std::optional<WebRole> roleFromId(const QString& id) {
    // Exact: the id is a protocol word, and a client spelling it otherwise is a faulty client.
    if (id == QLatin1String("admin")) return WebRole::Admin;
    if (id == QLatin1String("teacher")) return WebRole::Teacher;
    return std::nullopt;
}

QString roleName(WebRole role) {
    switch (role) {
        case WebRole::Admin:
            return QStringLiteral("ผู้ดูแล");
        case WebRole::Teacher:
            return QStringLiteral("ครู");
    }
    return {};
}

}  // namespace tavirin
