#pragma once

#include <QByteArray>

// The TLS session a data connection resumes, as the OpenSSL backend hands it
// over: the DER form of OpenSSL's SSL_SESSION (a SEQUENCE whose first field is
// the INTEGER version, and whose explicit [3] field is the server's
// certificate).
namespace FtpTlsSessionDer {

// The same session without the server's certificate, or an empty array when
// the bytes are not such a session or hold no certificate. Every data
// connection decodes the session afresh; the certificate is most of that
// work, and OpenSSL then copies it once more into each socket. Resuming does
// not need it: the secret of the session is what proves the server.
QByteArray withoutPeerCertificate(const QByteArray &der);

} // namespace FtpTlsSessionDer
