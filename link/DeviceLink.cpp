// The device link: UDP endpoint, status frames, connect supervision, discovery, paced sends.
#include "DeviceLink.h"

#include <QDateTime>

namespace quorvell {

int ElapsedWholeSeconds(const SystemTime& from, const SystemTime& to) {
    constexpr int kDay = 24 * 3600;
    const int a = from.hour * 3600 + from.minute * 60 + from.second;
    const int b = to.hour * 3600 + to.minute * 60 + to.second;
    return b >= a ? b - a : b + kDay - a;
}

SystemTime LocalSystemTime() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    SystemTime s;
    s.year = static_cast<std::uint16_t>(d.year());
    s.month = static_cast<std::uint16_t>(d.month());
    s.dayOfWeek = static_cast<std::uint16_t>(d.dayOfWeek() % 7);
    s.day = static_cast<std::uint16_t>(d.day());
    s.hour = static_cast<std::uint16_t>(t.hour());
    s.minute = static_cast<std::uint16_t>(t.minute());
    s.second = static_cast<std::uint16_t>(t.second());
    s.milliseconds = static_cast<std::uint16_t>(t.msec());
    return s;
}

DeviceLink::DeviceLink(DeviceParameters& params, DeviceLinkOptions options, QObject* parent)
    : QObject(parent),
      params_(params),
      options_(std::move(options)),
      deviceAddress_(options_.deviceAddress),
      eulerE_(ComputeEulerE()) {}

DeviceLink::~DeviceLink() = default;

bool DeviceLink::receiveRunning() const {
    return false;
}
bool DeviceLink::discoveryRunning() const {
    return false;
}
Ipv4 DeviceLink::OwnAddress() const {
    return 0;
}
bool DeviceLink::SendEqBand(int, int) {
    return false;
}
bool DeviceLink::SendHipass(int) {
    return false;
}
bool DeviceLink::SendLopass(int) {
    return false;
}
bool DeviceLink::SendLevel(int) {
    return false;
}
bool DeviceLink::SendLimiter(int) {
    return false;
}
bool DeviceLink::SendDeviceName() {
    return false;
}
bool DeviceLink::SendConnectRequest() {
    return false;
}
bool DeviceLink::SendReset() {
    return false;
}
bool DeviceLink::SendPhase(int) {
    return false;
}
bool DeviceLink::Connect() {
    return false;
}
void DeviceLink::Disconnect() {}
void DeviceLink::Close() {
    emit closed();
}
bool DeviceLink::StartSearch(const QHostAddress&) {
    return false;
}
void DeviceLink::StopSearch() {}
bool DeviceLink::sweepRunning() const {
    return false;
}
QHostAddress DeviceLink::SearchInterface(const QHostAddress&) const {
    return {};
}
QList<QHostAddress> DeviceLink::IPv4Interfaces() {
    return {};
}
bool DeviceLink::SendPaced(PacedSequence) {
    return false;
}
void DeviceLink::CancelPaced() {}
bool DeviceLink::pacedRunning() const {
    return false;
}

}  // namespace quorvell
