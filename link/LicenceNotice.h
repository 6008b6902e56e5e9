// SPDX-License-Identifier: GPL-3.0-or-later
// The copyright and licence lines every program prints after its version, and the about box shows.
#pragma once

namespace quorvell {

inline constexpr char kCopyrightLine[] = "Copyright (C) 2026 Quorvell maintainers";
inline constexpr char kLicenceLines[] =
    "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.";

}  // namespace quorvell
