// Whether a text changed, told without keeping a copy of it: a keyed digest (BLAKE2b
// through libsodium, under a key drawn once per run), for texts that may be secrets.
#pragma once
#include <array>
#include <QString>

namespace platform {

using TextDigest = std::array<unsigned char, 32>;
TextDigest digestOf(const QString& text);

}  // namespace platform
