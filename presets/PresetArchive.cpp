// SPDX-License-Identifier: GPL-3.0-or-later
// Writing and strictly reading the preset backup archive through libarchive.
#include "PresetArchive.h"

#include <archive.h>
#include <archive_entry.h>

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <span>

#include "DeviceParameters.h"
#include "NameRules.h"
#include "ParameterPaths.h"
#include "PresetDatabase.h"

namespace quorvell {
namespace {

struct ArchiveReadCloser {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct ArchiveWriteCloser {
    void operator()(archive* a) const { archive_write_free(a); }
};
struct EntryCloser {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};

// The manifest and one member per preset; a tar that holds more is not one of ours.
constexpr int kMaxMembers = kMaxPresets + 1;

std::string MemberName(int id) {
    return "SAVE" + std::to_string(id) + ".dat";
}

// The ID of a member named exactly "SAVE<id>.dat" (no leading zero, 1..kMaxPresets).
std::optional<int> MemberId(std::string_view name) {
    for (int id = 1; id <= kMaxPresets; ++id) {
        if (name == MemberName(id)) {
            return id;
        }
    }
    return std::nullopt;
}

QByteArray Sha256Hex(QByteArrayView bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

la_ssize_t AppendToBuffer(archive*, void* buffer, const void* data, size_t size) {
    static_cast<QByteArray*>(buffer)->append(static_cast<const char*>(data),
                                             static_cast<qsizetype>(size));
    return static_cast<la_ssize_t>(size);
}

bool WriteMember(archive* a, const std::string& name, QByteArrayView bytes) {
    std::unique_ptr<archive_entry, EntryCloser> entry(archive_entry_new());
    archive_entry_set_pathname(entry.get(), name.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_size(entry.get(), bytes.size());
    return archive_write_header(a, entry.get()) == ARCHIVE_OK &&
           archive_write_data(a, bytes.data(), static_cast<size_t>(bytes.size())) ==
               static_cast<la_ssize_t>(bytes.size());
}

std::optional<int> WholeNumber(const QJsonValue& value) {
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double d = value.toDouble();
    if (d != std::floor(d) || d < 0 || d > 1e9) {
        return std::nullopt;
    }
    return static_cast<int>(d);
}

}  // namespace

std::optional<std::string> CheckArchivedPreset(const ArchivedPreset& preset) {
    const std::string which = "preset " + std::to_string(preset.id);
    if (preset.id < 1 || preset.id > kMaxPresets) {
        return which + ": the ID is outside 1.." + std::to_string(kMaxPresets);
    }
    if (const auto refusal = CheckPresetName(preset.name)) {
        return which + ": " + *refusal;
    }
    if (preset.image.size() != static_cast<qsizetype>(kImageSize)) {
        return which + ": the image is " + std::to_string(preset.image.size()) + " bytes, not " +
               std::to_string(kImageSize);
    }
    const auto image = std::span(reinterpret_cast<const std::uint8_t*>(preset.image.data()),
                                 static_cast<std::size_t>(preset.image.size()));
    if (const auto refusal = CheckImageRanges(image)) {
        return which + ": " + *refusal;
    }
    return std::nullopt;
}

std::optional<QByteArray> WritePresetArchive(const std::vector<ArchivedPreset>& presets,
                                             std::string* error) {
    QJsonArray list;
    for (const ArchivedPreset& p : presets) {
        list.append(QJsonObject{{"id", p.id},
                                {"name", QString::fromStdString(p.name)},
                                {"file", QString::fromStdString(MemberName(p.id))},
                                {"size", static_cast<int>(p.image.size())},
                                {"sha256", QString::fromLatin1(Sha256Hex(p.image))}});
    }
    const QByteArray manifest = QJsonDocument(QJsonObject{{"format", kArchiveFormatName},
                                                          {"version", kArchiveFormatVersion},
                                                          {"presets", list}})
                                    .toJson(QJsonDocument::Indented);

    QByteArray out;
    std::unique_ptr<archive, ArchiveWriteCloser> a(archive_write_new());
    bool ok = a && archive_write_set_format_pax_restricted(a.get()) == ARCHIVE_OK &&
              archive_write_open(a.get(), &out, nullptr, AppendToBuffer, nullptr) == ARCHIVE_OK &&
              WriteMember(a.get(), kArchiveManifestName, manifest);
    for (const ArchivedPreset& p : presets) {
        ok = ok && WriteMember(a.get(), MemberName(p.id), p.image);
    }
    ok = ok && archive_write_close(a.get()) == ARCHIVE_OK;
    if (!ok) {
        const char* why = a ? archive_error_string(a.get()) : nullptr;
        *error = std::string("cannot build the archive: ") + (why ? why : "out of memory");
        return std::nullopt;
    }
    return out;
}

std::optional<std::vector<ArchivedPreset>> ReadPresetArchive(QByteArrayView bytes,
                                                             std::string* error) {
    const auto refuse = [&](std::string why) {
        *error = std::move(why);
        return std::nullopt;
    };
    if (bytes.size() > kMaxArchiveBytes) {
        return refuse("it is " + std::to_string(bytes.size()) + " bytes, more than a backup (" +
                      std::to_string(kMaxArchiveBytes) + ") can be");
    }
    // Only plain tar is read: no compression filter, so no member can expand beyond its header.
    std::unique_ptr<archive, ArchiveReadCloser> a(archive_read_new());
    if (!a || archive_read_support_format_tar(a.get()) != ARCHIVE_OK ||
        archive_read_open_memory(a.get(), bytes.data(), static_cast<size_t>(bytes.size())) !=
            ARCHIVE_OK) {
        return refuse("it is not a preset backup (not a tar archive)");
    }
    std::optional<QByteArray> manifest;
    std::map<int, QByteArray> images;
    for (int members = 0;; ++members) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(a.get(), &entry);
        if (status == ARCHIVE_EOF) {
            break;
        }
        if (status != ARCHIVE_OK) {
            const char* why = archive_error_string(a.get());
            return refuse(std::string("it is damaged (") + (why ? why : "unreadable header") + ")");
        }
        if (members >= kMaxMembers) {
            return refuse("it holds more than " + std::to_string(kMaxMembers) + " members");
        }
        const char* rawName = archive_entry_pathname(entry);
        const std::string name = rawName ? rawName : "";
        const auto id = MemberId(name);
        const bool isManifest = name == kArchiveManifestName;
        if (!id && !isManifest) {
            return refuse("it holds the unexpected member \"" + name.substr(0, 80) + "\"");
        }
        if (archive_entry_filetype(entry) != AE_IFREG || archive_entry_hardlink(entry) != nullptr ||
            archive_entry_symlink(entry) != nullptr) {
            return refuse(name + " is not a regular file");
        }
        if ((isManifest && manifest) || (id && images.count(*id) != 0)) {
            return refuse("it holds " + name + " twice");
        }
        const qsizetype limit = isManifest ? kMaxManifestBytes : static_cast<qsizetype>(kImageSize);
        const la_int64_t declared = archive_entry_size(entry);
        if (!archive_entry_size_is_set(entry) || declared < 0 || declared > limit ||
            (id && declared != limit)) {
            return refuse(name + " has the wrong size (" + std::to_string(declared) + " bytes)");
        }
        QByteArray data(static_cast<qsizetype>(declared), Qt::Uninitialized);
        qsizetype got = 0;
        while (got < data.size()) {
            const la_ssize_t n = archive_read_data(a.get(), data.data() + got,
                                                   static_cast<size_t>(data.size() - got));
            if (n <= 0) {
                return refuse(name + " is cut short");
            }
            got += static_cast<qsizetype>(n);
        }
        if (isManifest) {
            manifest = std::move(data);
        } else {
            images.emplace(*id, std::move(data));
        }
    }
    if (!manifest) {
        return refuse("it holds no manifest.json");
    }

    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(*manifest, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        return refuse("manifest.json is not a JSON object");
    }
    const QJsonObject top = doc.object();
    if (top.value("format").toString() != QLatin1String(kArchiveFormatName)) {
        return refuse("manifest.json is not a preset backup's");
    }
    const auto version = WholeNumber(top.value("version"));
    if (!version || *version < 1) {
        return refuse("manifest.json has no valid version");
    }
    if (*version > kArchiveFormatVersion) {
        return refuse("it was written in format version " + std::to_string(*version) +
                      "; this program reads version " + std::to_string(kArchiveFormatVersion));
    }
    if (!top.value("presets").isArray()) {
        return refuse("manifest.json lists no presets");
    }
    const QJsonArray list = top.value("presets").toArray();
    if (list.size() > kMaxPresets) {
        return refuse("manifest.json lists " + std::to_string(list.size()) +
                      " presets, more than " + std::to_string(kMaxPresets));
    }
    std::vector<ArchivedPreset> presets;
    for (const QJsonValue& value : list) {
        const QJsonObject item = value.toObject();
        const auto id = WholeNumber(item.value("id"));
        if (!id || *id < 1 || *id > kMaxPresets) {
            return refuse("manifest.json lists a preset without a valid ID (1.." +
                          std::to_string(kMaxPresets) + ")");
        }
        const std::string which = "preset " + std::to_string(*id);
        if (std::any_of(presets.begin(), presets.end(),
                        [&](const ArchivedPreset& p) { return p.id == *id; })) {
            return refuse("manifest.json lists " + which + " twice");
        }
        if (!item.value("name").isString() ||
            item.value("file").toString().toStdString() != MemberName(*id)) {
            return refuse("manifest.json's entry for " + which + " is incomplete");
        }
        const auto image = images.find(*id);
        if (image == images.end()) {
            return refuse("it holds no " + MemberName(*id) + " for " + which);
        }
        if (WholeNumber(item.value("size")) != image->second.size() ||
            item.value("sha256").toString().toLatin1() != Sha256Hex(image->second)) {
            return refuse(MemberName(*id) + " does not match its size and SHA-256 in the manifest");
        }
        ArchivedPreset preset{*id, item.value("name").toString().toStdString(), image->second};
        if (const auto refusal = CheckArchivedPreset(preset)) {
            return refuse(*refusal);
        }
        presets.push_back(std::move(preset));
    }
    if (images.size() != presets.size()) {
        return refuse("it holds a data member the manifest does not list");
    }
    std::sort(presets.begin(), presets.end(),
              [](const ArchivedPreset& x, const ArchivedPreset& y) { return x.id < y.id; });
    return presets;
}

}  // namespace quorvell
