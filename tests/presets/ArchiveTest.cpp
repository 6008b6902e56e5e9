// SPDX-License-Identifier: GPL-3.0-or-later
// The backup archive: what is refused whole, and backup and restore of a store.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "PresetArchive.h"
#include "PresetTestFixture.h"

namespace quorvell {
namespace {

struct Member {
    std::string name;
    QByteArray bytes;
    unsigned type = AE_IFREG;
};

la_ssize_t Append(archive*, void* out, const void* data, size_t size) {
    static_cast<QByteArray*>(out)->append(static_cast<const char*>(data),
                                          static_cast<qsizetype>(size));
    return static_cast<la_ssize_t>(size);
}

// A tar of exactly these members, whatever they hold.
QByteArray Tar(const std::vector<Member>& members) {
    QByteArray out;
    archive* a = archive_write_new();
    archive_write_set_format_pax_restricted(a);
    archive_write_open(a, &out, nullptr, Append, nullptr);
    for (const Member& m : members) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, m.name.c_str());
        archive_entry_set_filetype(e, m.type);
        archive_entry_set_perm(e, 0644);
        if (m.type == AE_IFLNK) {
            archive_entry_set_symlink(e, "/etc/passwd");
        } else if (m.type == AE_IFREG) {
            archive_entry_set_size(e, m.bytes.size());
        }
        archive_write_header(a, e);
        if (m.type == AE_IFREG) {
            archive_write_data(a, m.bytes.data(), static_cast<size_t>(m.bytes.size()));
        }
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
    return out;
}

QJsonObject Entry(int id, const QByteArray& image, const QString& name = "P") {
    return {{"id", id},
            {"name", name},
            {"file", QStringLiteral("SAVE%1.dat").arg(id)},
            {"size", static_cast<int>(image.size())},
            {"sha256", QString::fromLatin1(
                           QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex())}};
}

QByteArray Manifest(const QJsonArray& presets, int version = 1) {
    return QJsonDocument(QJsonObject{{"format", "quorvell-presets"},
                                     {"version", version},
                                     {"presets", presets}})
        .toJson();
}

TEST(PresetArchiveTest, HostileOrDamagedArchivesAreRefusedWhole) {
    const QByteArray a = Bytes(Pattern(1));
    const QByteArray b = Bytes(Pattern(2));
    const QByteArray one = Manifest({Entry(1, a)});
    const QByteArray two = Manifest({Entry(1, a), Entry(2, b)});
    const QByteArray outOfRange = a.left(100) + "\x7f\x7f\x7f\x7f" + a.mid(104);
    std::vector<Member> many = {{"manifest.json", one}};
    for (int id = 1; id <= 30; ++id)
        many.push_back({"SAVE" + std::to_string(id) + ".dat", a});
    QJsonArray thirty;
    for (int id = 1; id <= 30; ++id)
        thirty.append(Entry(id, a));
    struct Case {
        const char* what;
        QByteArray bytes;
        const char* refusal;  // empty: accepted
    };
    const Case cases[] = {
        {"two presets", Tar({{"manifest.json", two}, {"SAVE2.dat", b}, {"SAVE1.dat", a}}), ""},
        {"an empty store", Tar({{"manifest.json", Manifest({})}}), ""},
        {"path traversal", Tar({{"manifest.json", one}, {"../SAVE1.dat", a}}), "unexpected member"},
        {"a folder", Tar({{"manifest.json", one}, {"x/SAVE1.dat", a}}), "unexpected member"},
        {"absolute path", Tar({{"manifest.json", one}, {"/tmp/SAVE1.dat", a}}),
         "unexpected member"},
        {"a symlink", Tar({{"manifest.json", one}, {"SAVE1.dat", {}, AE_IFLNK}}), "regular file"},
        {"a member twice", Tar({{"manifest.json", one}, {"SAVE1.dat", a}, {"SAVE1.dat", b}}),
         "twice"},
        {"an ID twice",
         Tar({{"manifest.json", Manifest({Entry(1, a), Entry(1, a)})}, {"SAVE1.dat", a}}), "twice"},
        {"a short image",
         Tar({{"manifest.json", Manifest({Entry(1, a.left(100))})}, {"SAVE1.dat", a.left(100)}}),
         "wrong size"},
        {"a changed image", Tar({{"manifest.json", one}, {"SAVE1.dat", b}}), "SHA-256"},
        {"a newer version", Tar({{"manifest.json", Manifest({Entry(1, a)}, 2)}, {"SAVE1.dat", a}}),
         "version 2"},
        {"too many members", Tar(many), "members"},
        {"too many presets", Tar({{"manifest.json", Manifest(thirty)}}), "30 presets"},
        {"an ID out of range", Tar({{"manifest.json", Manifest({Entry(25, a)})}}), "valid ID"},
        {"a control character in a name",
         Tar({{"manifest.json", Manifest({Entry(1, a, "\x1b[2J")})}, {"SAVE1.dat", a}}),
         "preset 1"},
        {"an image out of range",
         Tar({{"manifest.json", Manifest({Entry(1, outOfRange)})}, {"SAVE1.dat", outOfRange}}),
         "preset 1"},
        {"an unlisted member", Tar({{"manifest.json", one}, {"SAVE1.dat", a}, {"SAVE2.dat", b}}),
         "does not list"},
        {"no manifest", Tar({{"SAVE1.dat", a}}), "no manifest"},
        {"a foreign manifest", Tar({{"manifest.json", "{\"format\":\"other\"}"}}), "not a preset"},
        {"not a tar", QByteArray(2048, 'x'), "not a tar"},
        {"too large", QByteArray(kMaxArchiveBytes + 1, '\0'), "more than"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        const auto presets = ReadPresetArchive(c.bytes, &error);
        if (std::string(c.refusal).empty()) {
            ASSERT_TRUE(presets) << error;
        } else {
            EXPECT_FALSE(presets);
            EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
        }
    }
    std::string error;
    const auto ok = ReadPresetArchive(cases[0].bytes, &error);
    ASSERT_TRUE(ok && ok->size() == 2u);
    EXPECT_EQ((*ok)[0].id, 1);
    EXPECT_EQ((*ok)[1].image, b);
}

using BackupTest = PresetTest;

// Backup and restore give the same listing and byte-identical files; a store holding presets
// is replaced only when asked; a refused archive changes nothing.
TEST_F(BackupTest, RestoreGivesTheSameStoreOrChangesNothing) {
    ReadParameterImage(params, Pattern(3));
    ASSERT_EQ(store->SavePreset(), 1);
    ASSERT_EQ(store->SavePreset(), 2);
    ASSERT_EQ(store->SavePreset(), 3);
    ASSERT_TRUE(store->RenamePreset(3, "Bühne"));
    ASSERT_TRUE(store->DeletePreset(2));
    QTemporaryDir other;
    const QString archive = other.path() + "/all.tar";
    ASSERT_EQ(store->BackupPresets(archive), 2);
    const auto before = store->ListPresets();
    const QByteArray file3 = ReadAll(Path("SAVE3.dat"));

    QTemporaryDir fresh;
    PresetDatabase freshDb(fresh.path(), boxes);
    PresetStore freshStore(freshDb, params);
    freshStore.SetTrashDirectory(other.path() + "/Trash");
    ASSERT_EQ(freshStore.RestorePresets(archive, false), 2);
    const auto after = freshStore.ListPresets();
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].id, before[i].id);
        EXPECT_EQ(after[i].name, before[i].name);
    }
    EXPECT_EQ(ReadAll(fresh.path() + "/SAVE3.dat"), file3);

    // A non-empty store: refused without replace; a damaged archive: refused even with it.
    ASSERT_TRUE(freshStore.RenamePreset(1, "changed"));
    boxes.shown.clear();
    EXPECT_FALSE(freshStore.RestorePresets(archive, false));
    QByteArray damaged = ReadAll(archive);
    damaged[damaged.lastIndexOf("SAVE3.dat") + 612] ^= 1;  // inside its data
    WriteAll(other.path() + "/damaged.tar", damaged);
    EXPECT_FALSE(freshStore.RestorePresets(other.path() + "/damaged.tar", true));
    EXPECT_EQ(freshStore.ListPresets()[0].name, "changed");
    EXPECT_EQ(boxes.shown.size(), 2u);
    ASSERT_EQ(freshStore.RestorePresets(archive, true), 2);
    EXPECT_EQ(freshStore.ListPresets()[0].name, before[0].name);
    EXPECT_EQ(QDir(other.path() + "/Trash/files").entryList(QDir::Files).size(), 2u);
}

}  // namespace
}  // namespace quorvell
