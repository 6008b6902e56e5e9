// SPDX-License-Identifier: GPL-3.0-or-later
// The backup archive of a whole preset store: an uncompressed POSIX tar holding manifest.json
// and one SAVE<id>.dat per preset. Reading trusts nothing in the bytes.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>
#include <string>
#include <vector>

namespace quorvell {

// The manifest's "format" and "version"; a reader refuses any other format and any newer
// version, so that a later layout is never half-understood.
inline constexpr char kArchiveFormatName[] = "quorvell-presets";
inline constexpr int kArchiveFormatVersion = 1;
inline constexpr char kArchiveManifestName[] = "manifest.json";
// A full store is 24 × 768 bytes plus a small manifest and the tar headers; anything larger is
// not one of ours.
inline constexpr qsizetype kMaxArchiveBytes = 256 * 1024;
inline constexpr qsizetype kMaxManifestBytes = 64 * 1024;

struct ArchivedPreset {
    int id = 0;        // 1..kMaxPresets
    std::string name;  // UTF-8, within the preset name rule
    QByteArray image;  // exactly kImageSize bytes, every field within its range
};

// The archive of `presets` (IDs unique and 1..kMaxPresets, names and images valid: the caller
// checks them with CheckArchivedPreset). Nothing, with the reason in `*error`, when libarchive
// fails.
std::optional<QByteArray> WritePresetArchive(const std::vector<ArchivedPreset>& presets,
                                             std::string* error);

// The presets of an archive in ascending ID order. The archive is refused whole, with the first
// reason in `*error`, when it is larger than kMaxArchiveBytes, is not a plain tar, holds a member
// that is not a regular file named manifest.json or SAVE<id>.dat (links, folders and paths with a
// separator are refused), holds a member twice or one the manifest does not list, or when the
// manifest is not this format and version, lists an ID twice or out of range, a name outside the
// rule, a size or SHA-256 that does not match its member, or an image outside its ranges.
std::optional<std::vector<ArchivedPreset>> ReadPresetArchive(QByteArrayView bytes,
                                                             std::string* error);

// Why `preset` cannot go into an archive (ID, name or image), or nothing.
std::optional<std::string> CheckArchivedPreset(const ArchivedPreset& preset);

}  // namespace quorvell
