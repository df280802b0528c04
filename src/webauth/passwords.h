#pragma once

#include "webauth/webrole.h"

#include <QString>

#include <optional>

namespace tavirin {

// Password hashing for the network page's accounts: Argon2id (libsodium's crypto_pwhash_str,
// interactive limits: about 0.1 s and 64 MiB per hash or check) over the UTF-8 of the text.

// libsodium started, once per process; safe from any thread. False when it cannot start
// (no random source): then nothing may be hashed and no token made.
bool sodiumReady();

constexpr int kMaxPasswordLength = 128;   // in code points
int minimumPasswordLength(WebRole role);  // in code points: 8 admin, 6 teacher

// Why a new password is refused, in Thai; "" when it may be used. Length counts code points
// (a Thai vowel mark is one, an emoji of two UTF-16 units is one); control characters and
// broken UTF-16 are refused.
QString checkPasswordRules(WebRole role, const QString& password);

// The "$argon2id$..." text of the password; nothing when hashing failed (logged).
std::optional<QString> hashPassword(const QString& password);

// A hash text this program can check: Argon2id, with limits no larger than a
// checkable size (a damaged or hostile store must not make a check take gigabytes).
bool isUsableHash(const QString& hash);

// Whether the password is the one hashed. Takes as long as a hash; call it off the GUI
// thread. A hash that is not usable is never matched.
bool verifyPassword(const QString& hash, const QString& password);

}  // namespace tavirin
