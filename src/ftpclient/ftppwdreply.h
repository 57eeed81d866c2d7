#pragma once

#include <QString>

// Reads the folder out of the reply to PWD (257, RFC 959 appendix II): the
// first quoted string, where a doubled quote stands for a quote of the name.
namespace FtpPwdReply {

// Empty when the reply holds no complete quoted name, or one that is not an
// absolute path ("C:\site" from some Windows servers): the caller then keeps
// to what it knew.
QString folder(const QString &text);

} // namespace FtpPwdReply
