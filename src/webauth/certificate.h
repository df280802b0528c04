#pragma once

#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QStringList>

namespace tavirin {

// The network page's own HTTPS certificate: self-signed, made once on this PC and kept, so
// a browser that was told to trust it (by its fingerprint) keeps trusting it.
struct CertificateResult {
    bool ok = false;  // certificate and key hold a usable pair
    QSslCertificate certificate;
    QSslKey key;
    // Thai, for the window: why a new pair was made, or why none could be had, or that the
    // new one could not be saved. "" when the saved pair was loaded.
    QString reason;
    bool madeNew = false;
    bool saved = true;  // false: a new pair serves this run only (it could not be written)
};

constexpr auto kCertificateFile = "web-cert.pem";
constexpr auto kKeyFile = "web-key.pem";

// Loads folder/web-cert.pem and folder/web-key.pem when both are there, read, belong
// together and the certificate is valid at `now`. Otherwise makes a new pair (an EC P-256
// key, valid from a day before `now` for ten years, for the names and addresses given) and
// writes it: the folder made 0700 when missing, the key 0600. Files that are replaced are
// first set aside as "<file>.corrupt-<date>" (nothing the school put there is lost).
CertificateResult ensureCertificate(const QString& folder, const QStringList& hostNames,
                                    const QList<QHostAddress>& addresses,
                                    const QDateTime& now);

// "AB:CD:..." (32 pairs), the fingerprint a browser shows for the certificate.
QString sha256Fingerprint(const QSslCertificate& certificate);

}  // namespace tavirin
