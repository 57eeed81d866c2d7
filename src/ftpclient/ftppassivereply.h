#pragma once

#include <QString>

// Reads the data port out of the replies to PASV (227, RFC 959 / RFC 1123
// 4.1.2.6) and EPSV (229, RFC 2428). The address a 227 reply announces is
// deliberately not returned: the client always connects to the control
// connection's peer, which works behind NAT and keeps a hostile server from
// sending the client's data to a third host.
namespace FtpPassiveReply {

// 0 when the text holds no well-formed h1,h2,h3,h4,p1,p2 group.
quint16 pasvPort(const QString &text);

// 0 when the text holds no well-formed (<d><d><d>port<d>) group.
quint16 epsvPort(const QString &text);

} // namespace FtpPassiveReply
