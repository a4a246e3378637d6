// MD5 digests (RFC 1321), for comparing long values with the digest the server computes.
#pragma once

#include <string>
#include <string_view>

// The 32 lower-case hex digits of the MD5 digest of `bytes`, as MySQL's MD5() shows them.
std::string Md5Hex(std::string_view bytes);
