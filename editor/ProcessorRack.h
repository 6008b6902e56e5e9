// SPDX-License-Identifier: GPL-3.0-or-later
// A rack: the processors one program keeps a link to, one editor each, all over one UDP
// endpoint, and the named groups of them. One processor is a rack of one.
#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "DeviceLink.h"
#include "LinkEndpoint.h"
#include "ProcessorEditor.h"
#include "ReadBack.h"

namespace quorvell {

// The dotted form of one IPv4 address ("127.0.0.2" for " 127.0.0.2"); empty when `text` is
// not one.
QString CanonicalAddress(const QString& text);

class ProcessorRack : public QObject {
    Q_OBJECT

public:
    // `options` is every processor's link but for its address: bind address, port, timing,
    // trace. `sync` is every processor's read-back.
    explicit ProcessorRack(DeviceLinkOptions options, ReadBackOptions sync = {},
                           QObject* parent = nullptr);
    ~ProcessorRack() override;

    // The editor of the processor at `address` (dotted IPv4), added unlinked when new; null
    // for text that is not one IPv4 address.
    ProcessorEditor* Add(const QString& address);
    ProcessorEditor* Find(const QString& address) const;
    // Makes `editor` (a front end's own, over a model and a link it keeps; the link built on
    // this rack's endpoint) the rack's first processor. The rack never deletes or removes it.
    void AdoptFirst(ProcessorEditor& editor);
    // Disconnects the processor and forgets it (and its place in every group); false when
    // it is not in the rack.
    bool Remove(const QString& address);
    // In the order added; the first is the one single-processor front ends act on.
    QList<ProcessorEditor*> Editors() const;
    ProcessorEditor* First() const;
    int size() const { return static_cast<int>(editors_.size()) + (adopted_ ? 1 : 0); }
    LinkEndpoint& Endpoint() { return endpoint_; }

    // Connects every processor not linked or connecting; returns how many attempts started.
    int ConnectAll();
    // Closes every link (nothing is sent); the editors stay, with their models.
    void CloseAll();
    // The read-back period of every processor, and of those added later; 0 stops polling.
    void SetPollMs(int ms);

    // Groups: named sets of the rack's processors. SetGroup replaces the members (canonical
    // addresses, duplicates dropped); false, and nothing changed, when a member is not in the
    // rack or the list is empty.
    bool SetGroup(const QString& name, const QStringList& addresses);
    bool RemoveGroup(const QString& name);
    const QMap<QString, QStringList>& Groups() const { return groups_; }
    // The members' editors in the group's order; empty for an unknown group.
    QList<ProcessorEditor*> GroupEditors(const QString& name) const;

signals:
    void processorsChanged();
    void groupsChanged();

private:
    DeviceLinkOptions options_;
    ReadBackOptions sync_;
    LinkEndpoint endpoint_;  // outlives the editors below, whose links use it
    std::vector<std::unique_ptr<ProcessorEditor>> editors_;
    QPointer<ProcessorEditor> adopted_;  // AdoptFirst's, ahead of editors_
    QMap<QString, QStringList> groups_;
};

}  // namespace quorvell
