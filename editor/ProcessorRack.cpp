// SPDX-License-Identifier: GPL-3.0-or-later
// The rack: one editor per processor over the shared endpoint, and its groups.
#include "ProcessorRack.h"

#include <QHostAddress>
#include <algorithm>

#include "Frames.h"

namespace quorvell {

QString CanonicalAddress(const QString& text) {
    const auto ip = ParseIpv4(text.trimmed().toStdString());
    return ip ? QHostAddress(*ip).toString() : QString();
}

ProcessorRack::ProcessorRack(DeviceLinkOptions options, ReadBackOptions sync, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      sync_(sync),
      endpoint_(options_.bindAddress, options_.port) {
    options_.endpoint = &endpoint_;
}

ProcessorRack::~ProcessorRack() {
    CloseAll();
    editors_.clear();  // before the endpoint their links are attached to
}

ProcessorEditor* ProcessorRack::Add(const QString& address) {
    const QString canonical = CanonicalAddress(address);
    if (canonical.isEmpty()) {
        return nullptr;
    }
    if (ProcessorEditor* known = Find(canonical)) {
        return known;
    }
    DeviceLinkOptions options = options_;
    options.deviceAddress = canonical;
    editors_.push_back(std::make_unique<ProcessorEditor>(options, sync_));
    emit processorsChanged();
    return editors_.back().get();
}

ProcessorEditor* ProcessorRack::Find(const QString& address) const {
    const QString canonical = CanonicalAddress(address);
    for (ProcessorEditor* editor : Editors()) {
        if (!canonical.isEmpty() &&
            CanonicalAddress(editor->Link().nextDeviceAddress()) == canonical) {
            return editor;
        }
    }
    return nullptr;
}

void ProcessorRack::AdoptFirst(ProcessorEditor& editor) {
    adopted_ = &editor;
    emit processorsChanged();
}

bool ProcessorRack::Remove(const QString& address) {
    const QString canonical = CanonicalAddress(address);
    const auto it = std::find_if(editors_.begin(), editors_.end(), [&](const auto& editor) {
        return !canonical.isEmpty() && editor->Link().nextDeviceAddress() == canonical;
    });
    if (it == editors_.end()) {
        return false;
    }
    (*it)->Link().Close();
    editors_.erase(it);
    bool groupsChangedNow = false;
    for (auto g = groups_.begin(); g != groups_.end();) {
        groupsChangedNow |= g->removeAll(canonical) > 0;
        g = g->isEmpty() ? groups_.erase(g) : std::next(g);
    }
    emit processorsChanged();
    if (groupsChangedNow) {
        emit groupsChanged();
    }
    return true;
}

QList<ProcessorEditor*> ProcessorRack::Editors() const {
    QList<ProcessorEditor*> list;
    if (adopted_) {
        list.push_back(adopted_.data());
    }
    for (const auto& editor : editors_) {
        list.push_back(editor.get());
    }
    return list;
}

ProcessorEditor* ProcessorRack::First() const {
    if (adopted_) {
        return adopted_.data();
    }
    return editors_.empty() ? nullptr : editors_.front().get();
}

int ProcessorRack::ConnectAll() {
    int started = 0;
    for (ProcessorEditor* editor : Editors()) {
        started += editor->Link().Connect() ? 1 : 0;
    }
    return started;
}

void ProcessorRack::CloseAll() {
    for (ProcessorEditor* editor : Editors()) {
        editor->Link().Close();
    }
}

void ProcessorRack::SetPollMs(int ms) {
    sync_.pollMs = ms;
    for (const auto& editor : editors_) {
        editor->Sync()->SetPollMs(ms);
    }
}

bool ProcessorRack::SetGroup(const QString& name, const QStringList& addresses) {
    QStringList members;
    for (const QString& address : addresses) {
        const QString canonical = CanonicalAddress(address);
        if (Find(canonical) == nullptr) {
            return false;
        }
        if (!members.contains(canonical)) {
            members.push_back(canonical);
        }
    }
    if (members.isEmpty()) {
        return false;
    }
    groups_[name] = members;
    emit groupsChanged();
    return true;
}

bool ProcessorRack::RemoveGroup(const QString& name) {
    if (groups_.remove(name) == 0) {
        return false;
    }
    emit groupsChanged();
    return true;
}

QList<ProcessorEditor*> ProcessorRack::GroupEditors(const QString& name) const {
    QList<ProcessorEditor*> list;
    for (const QString& address : groups_.value(name)) {
        if (ProcessorEditor* editor = Find(address)) {
            list.push_back(editor);
        }
    }
    return list;
}

}  // namespace quorvell
