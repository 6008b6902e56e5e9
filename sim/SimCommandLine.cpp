// SPDX-License-Identifier: GPL-3.0-or-later
// Option parsing for quorvell-sim; every refusal is one line naming the option.
#include "SimCommandLine.h"

#include <QCommandLineParser>
#include <QFile>
#include <algorithm>

namespace quorvell::sim {
namespace {

struct OptionSet {
    QCommandLineOption address{
        QStringLiteral("address"),
        QStringLiteral("First processor's IPv4 address (default 127.0.0.2)."), QStringLiteral("IP"),
        QStringLiteral("127.0.0.2")};
    QCommandLineOption count{
        QStringLiteral("count"),
        QStringLiteral("Number of processors on consecutive addresses (default 1)."),
        QStringLiteral("N"), QStringLiteral("1")};
    QCommandLineOption port{QStringLiteral("port"),
                            QStringLiteral("UDP port of every processor (default 39060)."),
                            QStringLiteral("P"), QString::number(kDevicePort)};
    QCommandLineOption name{
        QStringLiteral("name"),
        QStringLiteral("Device name; further processors get NAME-2, NAME-3, ... "
                       "(default QV-SIM, at most 10 bytes each)."),
        QStringLiteral("NAME")};
    QCommandLineOption state{QStringLiteral("state"),
                             QStringLiteral("Start from a 768-byte preset data file instead of the "
                                            "defaults. SIGHUP restarts every processor from "
                                            "the file as it is then (without --state: from "
                                            "the defaults)."),
                             QStringLiteral("FILE")};
    QCommandLineOption log{QStringLiteral("log"),
                           QStringLiteral("Log every datagram as a JSON line: '-' for standard "
                                          "output, else appended to FILE."),
                           QStringLiteral("FILE|-")};
    QCommandLineOption drop{QStringLiteral("drop"),
                            QStringLiteral("Ignore this share (0..1) of received datagrams."),
                            QStringLiteral("FRACTION"), QStringLiteral("0")};
    QCommandLineOption seed{QStringLiteral("seed"),
                            QStringLiteral("Seed of the drop decisions (default 1)."),
                            QStringLiteral("S"), QStringLiteral("1")};
    QCommandLineOption noAnswer{QStringLiteral("no-answer"),
                                QStringLiteral("Never answer connect requests.")};
    QCommandLineOption keepNothing{QStringLiteral("keep-nothing"),
                                   QStringLiteral("Log settings commands but never apply them.")};
    QCommandLineOption answerReset{
        QStringLiteral("answer-reset"),
        QStringLiteral("Answer connect requests with the reset-state frame (8).")};
    QCommandLineOption answerShort{
        QStringLiteral("answer-short"),
        QStringLiteral("Answer connect requests with a bare 4-byte full-state header.")};
    QCommandLineOption flood{QStringLiteral("flood"),
                             QStringLiteral("After each connect answer, send N reset- and "
                                            "full-state frames by turns to the client, 10 "
                                            "per millisecond."),
                             QStringLiteral("N"), QStringLiteral("0")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help.")};
    QCommandLineOption version{QStringLiteral("version"),
                               QStringLiteral("Print the version and exit.")};
};

void AddAll(QCommandLineParser& parser, const OptionSet& s) {
    parser.setApplicationDescription(
        QStringLiteral("A virtual two-channel processor: the device side of the UDP protocol."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const auto* o :
         {&s.address, &s.count, &s.port, &s.name, &s.state, &s.log, &s.drop, &s.seed, &s.noAnswer,
          &s.keepNothing, &s.answerReset, &s.answerShort, &s.flood, &s.help, &s.version}) {
        parser.addOption(*o);
    }
}

std::optional<std::uint64_t> ParseUnsigned(const QString& text, std::uint64_t max) {
    bool ok = false;
    const qulonglong v = text.toULongLong(&ok, 10);
    if (!ok || v > max) {
        return std::nullopt;
    }
    return v;
}

}  // namespace

std::optional<ParameterImage> ReadStateFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray bytes = file.read(kImageSize + 1);
    if (bytes.size() != static_cast<qsizetype>(kImageSize)) {
        *error = QStringLiteral("%1: %2 bytes; a preset data file holds exactly %3")
                     .arg(path)
                     .arg(bytes.size() > static_cast<qsizetype>(kImageSize)
                              ? QStringLiteral("more than %1").arg(kImageSize)
                              : QString::number(bytes.size()))
                     .arg(kImageSize);
        return std::nullopt;
    }
    ParameterImage image{};
    std::copy_n(reinterpret_cast<const std::uint8_t*>(bytes.constData()), kImageSize,
                image.begin());
    return image;
}

QString SimUsage() {
    QCommandLineParser parser;
    OptionSet options;
    AddAll(parser, options);
    return QStringLiteral(
               "Usage: quorvell-sim [--address IP] [--count N] [--port P] "
               "[--name NAME] [--state FILE] [--log FILE|-] [--drop FRACTION] "
               "[--seed S] [--no-answer] [--keep-nothing] [--answer-reset] "
               "[--answer-short] [--flood N]\n\n") +
           parser.helpText().section(QLatin1Char('\n'), 1);
}

std::optional<SimCommandLine> ParseSimCommandLine(const QStringList& args, QString* error) {
    QCommandLineParser parser;
    OptionSet s;
    AddAll(parser, s);
    auto fail = [&](const QString& text) -> std::optional<SimCommandLine> {
        *error = text;
        return std::nullopt;
    };
    if (!parser.parse(QStringList{QStringLiteral("quorvell-sim")} + args)) {
        return fail(parser.errorText());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return fail(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    }
    SimCommandLine line;
    if (parser.isSet(s.help) || parser.isSet(s.version)) {
        line.help = parser.isSet(s.help);
        line.version = !line.help;
        return line;
    }

    const auto address = ParseIpv4(parser.value(s.address).toStdString());
    if (!address || *address == 0 || *address == 0xFFFFFFFF) {
        return fail(QStringLiteral("--address: \"%1\" is not one IPv4 address")
                        .arg(parser.value(s.address)));
    }
    const auto count = ParseUnsigned(parser.value(s.count), 256);
    if (!count || *count == 0) {
        return fail(QStringLiteral("--count: \"%1\" is not a number from 1 to 256")
                        .arg(parser.value(s.count)));
    }
    if (0xFFFFFFFFull - *address < *count - 1) {
        return fail(QStringLiteral("--count: %1 addresses from %2 run past 255.255.255.255")
                        .arg(*count)
                        .arg(parser.value(s.address)));
    }
    const auto port = ParseUnsigned(parser.value(s.port), 65535);
    if (!port || *port == 0) {
        return fail(QStringLiteral("--port: \"%1\" is not a port from 1 to 65535")
                        .arg(parser.value(s.port)));
    }
    bool ok = false;
    const double drop = parser.value(s.drop).toDouble(&ok);
    if (!ok || !(drop >= 0.0 && drop <= 1.0)) {
        return fail(QStringLiteral("--drop: \"%1\" is not a fraction from 0 to 1")
                        .arg(parser.value(s.drop)));
    }
    const auto flood = ParseUnsigned(parser.value(s.flood), 1000000);
    if (!flood) {
        return fail(QStringLiteral("--flood: \"%1\" is not a count from 0 to 1000000")
                        .arg(parser.value(s.flood)));
    }
    const auto seed = ParseUnsigned(parser.value(s.seed), 0xFFFFFFFFull);
    if (!seed) {
        return fail(QStringLiteral("--seed: \"%1\" is not a number from 0 to 4294967295")
                        .arg(parser.value(s.seed)));
    }

    std::optional<ParameterImage> state;
    std::string baseName = "QV-SIM";
    if (parser.isSet(s.state)) {
        line.statePath = parser.value(s.state);
        QString stateError;
        state = ReadStateFile(*line.statePath, &stateError);
        if (!state) {
            return fail(QStringLiteral("--state ") + stateError);
        }
        // Without --name the processors keep the preset's name, when it has one.
        DeviceParameters preset{};
        ReadParameterImage(preset, *state);
        if (const auto name = DeviceNameText(preset); !name.empty()) {
            baseName = std::string(name.substr(0, kDeviceNameMax));
        }
    }
    if (parser.isSet(s.name)) {
        baseName = parser.value(s.name).toStdString();
        if (baseName.empty()) {
            return fail(QStringLiteral("--name: the name must not be empty"));
        }
    }

    for (std::uint64_t i = 0; i < *count; ++i) {
        SimOptions o;
        o.address = QHostAddress(static_cast<quint32>(*address + i));
        o.port = static_cast<quint16>(*port);
        o.name = i == 0 ? baseName : baseName + "-" + std::to_string(i + 1);
        if (o.name.size() > kDeviceNameMax) {
            return fail(QStringLiteral("--name: \"%1\" is %2 bytes; a device name holds at most "
                                       "%3 bytes")
                            .arg(QString::fromStdString(o.name))
                            .arg(o.name.size())
                            .arg(kDeviceNameMax));
        }
        o.dropFraction = drop;
        o.seed = static_cast<quint32>(*seed + i);
        o.noAnswer = parser.isSet(s.noAnswer);
        o.keepNothing = parser.isSet(s.keepNothing);
        o.answerReset = parser.isSet(s.answerReset);
        o.answerShort = parser.isSet(s.answerShort);
        o.floodCount = static_cast<int>(*flood);
        o.state = state;
        o.keepLog = false;
        line.processors.push_back(std::move(o));
    }
    if (parser.isSet(s.log)) {
        line.logPath = parser.value(s.log);
    }
    return line;
}

}  // namespace quorvell::sim
