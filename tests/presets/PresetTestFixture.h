// SPDX-License-Identifier: GPL-3.0-or-later
// A store over a fresh data directory, with the scripted message boxes.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "ParameterPaths.h"
#include "PresetDatabase.h"
#include "PresetStore.h"

namespace quorvell {

// A recallable image that differs in every field from one seed to the next.
inline ParameterImage Pattern(std::uint8_t seed) {
    DeviceParameters p{};
    int k = seed;
    for (const ParameterPath& path : AllParameterPaths()) {
        if (std::int32_t* field = path.Field(p)) {
            *field = path.minRaw + (k++ % (path.maxRaw - path.minRaw + 1));
        }
    }
    p.deviceName[0] = seed;
    return WriteParameterImage(p);
}

inline QByteArray Bytes(const ParameterImage& image) {
    return QByteArray(reinterpret_cast<const char*>(image.data()), static_cast<int>(image.size()));
}

class PresetTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        Reopen();
        ASSERT_TRUE(
            db->OpenConnection());  // an existing database: files written later are not relisted
    }

    // A new database object over the same directory, as a restarted program would have.
    void Reopen() {
        store.reset();
        db = std::make_unique<PresetDatabase>(dir.path(), boxes);
        store = std::make_unique<PresetStore>(*db, params);
    }

    QString Path(const QString& name) const { return dir.path() + '/' + name; }

    static QByteArray ReadAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static void WriteAll(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    // Adds a row directly, as another program or an older version would have left it.
    void InsertRow(int id, const std::string& name, const QString& fileName) {
        ASSERT_TRUE(db->ExecuteSQL("INSERT INTO DeviceDATA VALUES(?, ?, ?)",
                                   {std::int64_t{id}, name, fileName.toStdString()}));
    }

    QTemporaryDir dir;
    ScriptedMessageBoxes boxes;
    DeviceParameters params;
    std::unique_ptr<PresetDatabase> db;
    std::unique_ptr<PresetStore> store;
};

}  // namespace quorvell
