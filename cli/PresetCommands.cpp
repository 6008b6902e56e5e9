// SPDX-License-Identifier: GPL-3.0-or-later
// `preset`: list, save, recall, rename, delete, export, import, back up and restore the
// presets of the data directory. Only save (and recall with --device) talk to a processor.
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSettings>
#include <QTimer>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CliCommand.h"
#include "DeviceLink.h"
#include "LinkSession.h"
#include "NameRules.h"
#include "ParameterPaths.h"
#include "PresetDatabase.h"
#include "PresetStore.h"
#include "ProcessorEditor.h"

namespace quorvell::cli {
namespace {

constexpr std::string_view kPresetHelp =
    "usage: quorvell-cli [--data-dir DIR] preset SUBCOMMAND [ARGS]\n"
    "\n"
    "  list [--json]        ID, NAME and data file of every preset, in ID order\n"
    "  save [--retry S]     connect to the processor and store its full state as a new\n"
    "                       preset (ID = highest + 1, at most 24)\n"
    "  recall ID [--retry S] [--no-verify]\n"
    "                       load the preset; with --device IP (before or after the\n"
    "                       subcommand) also connect and send it as the panel does (25\n"
    "                       frames, 1.1 s), then read the state back and send again what\n"
    "                       the processor does not report, up to ten rounds\n"
    "  rename ID NAME       set the preset's name (UTF-8, at most 8 characters)\n"
    "  delete ID            remove the preset; its data file goes to the trash\n"
    "  export ID FILE       copy the preset's 768-byte data file to FILE\n"
    "  import FILE          store a 768-byte data file as a new preset\n"
    "  backup FILE          write every preset (ID, name, data) into one archive FILE\n"
    "  restore FILE [--replace]\n"
    "                       make the store hold exactly the archive's presets; a store\n"
    "                       that holds presets needs --replace (they go to the trash).\n"
    "                       A damaged archive is refused whole, with nothing changed\n"
    "\n"
    "Presets live in DIR (--data-dir), else beside the program when Quorvel.mdb is already\n"
    "there (a portable install), else in the per-user application data folder, the same\n"
    "folder the panel uses.\n"
    "Global options for save and recall: --device IP (save: default the panel's stored\n"
    "address), --bind IP, --port N, --trace.\n"
    "\n"
    "Exit status: 0 done; 1 failure (no such preset, no free ID, file or database error);\n"
    "2 bad arguments; 3 no answer (\"CANNOT CONNECT.\"); 4 the port cannot be bound;\n"
    "5 (recall) the processor did not report every change (the records are named).\n";

constexpr int kRecallSendTimeoutMs = 10000;
// Messages of the store go to stderr, except the recall confirmation, which the command
// prints itself once it knows the outcome.
class CliMessageBoxes final : public MessageBoxes {
public:
    MessageAnswer Show(const Message& message) override {
        if (message.text != kTextRecallDone) {
            std::cerr << message.text << '\n';
        }
        return MessageAnswer::Ok;
    }
};

// The store over the resolved data directory, for one command.
struct Presets {
    CliMessageBoxes boxes;
    DeviceParameters params{};
    std::unique_ptr<PresetDatabase> db;
    std::unique_ptr<PresetStore> store;

    bool Open(const GlobalOptions& g) {
        EnsureApplication();
        const QString dir =
            ResolveDataDirectory(QString::fromStdString(g.dataDir), PortableDirectory(), boxes);
        db = std::make_unique<PresetDatabase>(dir, boxes);
        store = std::make_unique<PresetStore>(*db, params);
        return !dir.isEmpty() && db->OpenConnection();
    }
};

std::optional<int> ParseId(const std::string& text) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::stoi(text);
}

std::optional<PresetRow> FindRow(PresetStore& store, int id) {
    for (const PresetRow& row : store.ListPresets()) {
        if (row.id == id) {
            return row;
        }
    }
    return std::nullopt;
}

int NoSuchPreset(std::string_view sub, int id) {
    std::cerr << "quorvell-cli: preset " << sub << ": no preset with ID " << id << '\n';
    return kExitFailure;
}

// True (after the message) when preset kMaxPresets or higher exists: a save would do nothing.
bool Full(PresetStore& store) {
    const auto rows = store.ListPresets();
    if (rows.empty() || rows.back().id < kMaxPresets) {
        return false;
    }
    std::cerr << "quorvell-cli: preset: no free preset ID (preset " << rows.back().id
              << " exists; delete it first)\n";
    return true;
}

int RunList(const GlobalOptions& g, std::vector<std::string> args) {
    const bool json = TakeFlag(args, "--json");
    if (!args.empty())
        return UsageError("preset list: unexpected argument '" + args[0] + "'");
    Presets p;
    if (!p.Open(g))
        return kExitFailure;
    const auto listed = p.store->TryListPresets();
    if (!listed)
        return kExitFailure;  // the database's own message is on stderr
    const auto& rows = *listed;
    if (json) {
        QJsonArray array;
        for (const PresetRow& r : rows) {
            array.append(QJsonObject{{"id", r.id},
                                     {"name", QString::fromStdString(r.name)},
                                     {"file", QString::fromStdString(r.fileName)}});
        }
        std::cout << QJsonDocument(array).toJson(QJsonDocument::Indented).toStdString();
        return kExitOk;
    }
    std::printf("%-3s  %-10s  %s\n", "ID", "NAME", "FILE");
    for (const PresetRow& r : rows) {
        std::printf("%-3d  %-10s  %s\n", r.id, r.name.c_str(), r.fileName.c_str());
    }
    return kExitOk;
}

int Saved(int id) {
    std::cout << "Saved preset " << id << " (SAVE" << id << ")\n";
    return kExitOk;
}

int RunSave(const GlobalOptions& g, std::vector<std::string> args) {
    int retry = 5;
    if (!TakeRetry(args, &retry))
        return kExitUsage;
    if (!args.empty())
        return UsageError("preset save: unexpected argument '" + args[0] + "'");
    if (!LinkOptionsFor(g, g.device, retry))
        return kExitUsage;
    Presets p;
    if (!p.Open(g))
        return kExitFailure;
    if (Full(*p.store))
        return kExitFailure;
    return WithSession(g, g.device, retry, [&](Session& s) {
        s.Link().Close();  // the state has arrived; saving needs no link
        PresetStore store(*p.db, s.Params());
        const auto id = store.SavePreset();
        if (!id)
            return kExitFailure;  // reported, or a save elsewhere took the last ID
        return Saved(*id);
    });
}

int RunRecall(const GlobalOptions& g, std::vector<std::string> args) {
    int retry = 5;
    std::optional<std::string> device;
    const bool verify = !TakeFlag(args, "--no-verify");
    if (!TakeRetry(args, &retry) || !TakeValue(args, "--device", &device))
        return kExitUsage;
    if (args.size() != 1)
        return UsageError("preset recall: give exactly one ID");
    const auto id = ParseId(args[0]);
    if (!id)
        return UsageError("preset recall: '" + args[0] + "' is not a preset ID");
    if (!device && !g.device.empty())
        device = g.device;

    Presets p;
    if (!p.Open(g))
        return kExitFailure;
    if (!FindRow(*p.store, *id))
        return NoSuchPreset("recall", *id);
    if (!device) {
        if (p.store->RecallPreset(*id) != RecallOutcome::Loaded)
            return kExitFailure;
        std::cout << kTextRecallDone << '\n';
        return kExitOk;
    }

    return WithSession(g, *device, retry, [&](Session& s) {
        PresetStore store(*p.db, s.Params());
        ProcessorEditor editor(s.Params(), s.Link());
        Verification verification(editor, verify);
        store.SetSink(
            [&](PacedSequence sequence) {
                editor.SendSequence(std::move(sequence), EditOrigin::Sequence);
            },
            s.Link().EulerE());
        const RecallOutcome outcome = store.RecallPreset(*id);
        const bool sent = s.WaitForPaced(kRecallSendTimeoutMs);
        if (outcome != RecallOutcome::Loaded)
            return kExitFailure;
        if (!sent) {
            std::cerr << "quorvell-cli: preset recall: the link went down before every frame "
                         "was sent\n";
            return kExitFailure;
        }
        if (const int status = verification.Wait("preset recall"); status != kExitOk) {
            return status;
        }
        std::cout << kTextRecallDone << '\n';
        return kExitOk;
    });
}

int RunRename(const GlobalOptions& g, std::vector<std::string> args) {
    if (args.size() != 2)
        return UsageError("preset rename: usage: preset rename ID NAME");
    const auto id = ParseId(args[0]);
    if (!id)
        return UsageError("preset rename: '" + args[0] + "' is not a preset ID");
    // The panel's rule: printable UTF-8, at most 8 code points.
    if (const auto refusal = CheckPresetName(args[1])) {
        std::cerr << *refusal << '\n';
        return kExitUsage;
    }
    Presets p;
    if (!p.Open(g))
        return kExitFailure;
    if (!FindRow(*p.store, *id))
        return NoSuchPreset("rename", *id);
    return p.store->RenamePreset(*id, args[1]) ? kExitOk : kExitFailure;
}

int RunDelete(const GlobalOptions& g, std::vector<std::string> args) {
    if (args.size() != 1)
        return UsageError("preset delete: give exactly one ID");
    const auto id = ParseId(args[0]);
    if (!id)
        return UsageError("preset delete: '" + args[0] + "' is not a preset ID");
    Presets p;
    if (!p.Open(g))
        return kExitFailure;
    if (!FindRow(*p.store, *id))
        return NoSuchPreset("delete", *id);
    return p.store->DeletePreset(*id) ? kExitOk : kExitFailure;
}

int RunExport(const GlobalOptions& g, std::vector<std::string> args) {
    if (args.size() != 2)
        return UsageError("preset export: usage: preset export ID FILE");
    const auto id = ParseId(args[0]);
    if (!id)
        return UsageError("preset export: '" + args[0] + "' is not a preset ID");
    Presets p;
    if (!p.Open(g))
        return kExitFailure;
    const auto row = FindRow(*p.store, *id);
    if (!row)
        return NoSuchPreset("export", *id);
    std::string error;
    const auto bytes = p.store->ReadImageFile(*row, &error);
    if (!bytes) {
        std::cerr << "quorvell-cli: preset export: " << error << " Not exported.\n";
        return kExitFailure;
    }
    QSaveFile out(QString::fromStdString(args[1]));
    if (!out.open(QIODevice::WriteOnly) || out.write(*bytes) != bytes->size() || !out.commit()) {
        std::cerr << "quorvell-cli: preset export: cannot write " << args[1] << ": "
                  << out.errorString().toStdString() << '\n';
        return kExitFailure;
    }
    return kExitOk;
}

int RunImport(const GlobalOptions& g, std::vector<std::string> args) {
    if (args.size() != 1)
        return UsageError("preset import: give exactly one FILE");
    EnsureApplication();
    const QString path = QString::fromStdString(args[0]);
    QFile in(path);
    QByteArray bytes;
    if (QFileInfo(path).isDir()) {
        std::cerr << "quorvell-cli: preset import: " << args[0] << " is a directory\n";
        return kExitFailure;
    }
    // A pipe or a device would block the read or never end; only regular files are images.
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile()) {
        std::cerr << "quorvell-cli: preset import: " << args[0] << " is not a regular file\n";
        return kExitFailure;
    }
    if (in.open(QIODevice::ReadOnly))
        bytes = in.read(static_cast<qint64>(kImageSize) + 1);
    if (!in.isOpen() || in.error() != QFileDevice::NoError) {
        std::cerr << "quorvell-cli: preset import: cannot read " << args[0] << ": "
                  << in.errorString().toStdString() << '\n';
        return kExitFailure;
    }
    if (bytes.size() != static_cast<qsizetype>(kImageSize)) {
        std::cerr << "quorvell-cli: preset import: " << args[0] << " is "
                  << (bytes.size() > static_cast<qsizetype>(kImageSize)
                          ? "longer than"
                          : std::to_string(bytes.size()) + " bytes, not")
                  << " " << kImageSize << " bytes; a preset data file is exactly " << kImageSize
                  << " bytes\n";
        return kExitFailure;
    }
    const auto image = std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), kImageSize);
    if (const auto refusal = CheckImageRanges(image)) {
        std::cerr << "quorvell-cli: preset import: " << args[0] << " is not a preset: " << *refusal
                  << '\n';
        return kExitFailure;
    }
    Presets p;
    if (!p.Open(g))
        return kExitFailure;
    if (Full(*p.store))
        return kExitFailure;
    ReadParameterImage(p.params, image);
    const auto id = p.store->SavePreset();
    if (!id)
        return kExitFailure;
    std::cout << "Imported " << args[0] << " as preset " << *id << " (SAVE" << *id << ")\n";
    return kExitOk;
}

int RunBackup(const GlobalOptions& g, std::vector<std::string> args) {
    if (args.size() != 1)
        return UsageError("preset backup: give exactly one FILE");
    Presets p;
    if (!p.Open(g))
        return kExitFailure;
    const auto count = p.store->BackupPresets(QString::fromStdString(args[0]));
    if (!count)
        return kExitFailure;
    std::cout << "Backed up " << *count << " presets to " << args[0] << '\n';
    return kExitOk;
}

int RunRestore(const GlobalOptions& g, std::vector<std::string> args) {
    const bool replace = TakeFlag(args, "--replace");
    if (args.size() != 1)
        return UsageError("preset restore: usage: preset restore FILE [--replace]");
    Presets p;
    if (!p.Open(g))
        return kExitFailure;
    const auto count = p.store->RestorePresets(QString::fromStdString(args[0]), replace);
    if (!count)
        return kExitFailure;
    std::cout << "Restored " << *count << " presets from " << args[0] << '\n';
    return kExitOk;
}

int RunPreset(const GlobalOptions& g, Args args) {
    if (args.empty())
        return UsageError("preset: give a subcommand (see preset --help)");
    const std::string sub = args[0];
    std::vector<std::string> rest(args.begin() + 1, args.end());
    struct Sub {
        std::string_view name;
        int (*run)(const GlobalOptions&, std::vector<std::string>);
    };
    static constexpr Sub kSubs[] = {
        {"list", RunList},     {"save", RunSave},     {"recall", RunRecall},
        {"rename", RunRename}, {"delete", RunDelete}, {"export", RunExport},
        {"import", RunImport}, {"backup", RunBackup}, {"restore", RunRestore}};
    for (const Sub& s : kSubs) {
        if (s.name == sub)
            return s.run(g, std::move(rest));
    }
    return UsageError("preset: unknown subcommand '" + sub + "' (see preset --help)");
}

}  // namespace

std::vector<Command> PresetCommands() {
    return {{"preset",
             "list, save, recall, rename, delete, export, import, back up, restore presets",
             kPresetHelp, RunPreset}};
}

}  // namespace quorvell::cli
