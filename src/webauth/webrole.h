#pragma once

#include <QString>

#include <optional>

namespace tavirin {

// Who a network page session speaks for. Each role has one shared password.
enum class WebRole { Admin, Teacher };

// The role's name in the API and in the store: "admin", "teacher".
QString roleId(WebRole role);
// The role an API text names (exactly "admin" or "teacher"); nothing for any other text.
std::optional<WebRole> roleFromId(const QString& id);
// The role as the window and the page show it.
QString roleName(WebRole role);

}  // namespace tavirin
