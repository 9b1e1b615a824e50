#pragma once
// Where the settings are kept, as the clock's life uses it: each use opens the store,
// reads or writes values, and closes it. The registry of the current user on Windows,
// a file elsewhere.
#include <cstdint>
#include <string>

#include "core/settings/settings_rules.h"

namespace lumivane {

class SettingsStore : public SettingsReader {
  public:
    // Opens the store, creating it (and what holds it) when asked. False when it can be
    // neither opened nor created; nothing is reported.
    virtual bool OpenStore(bool create) = 0;
    // Opens it as OpenStore(true) does, for a write the user asked for: throws Error,
    // with the reason, when it can be neither opened nor created.
    virtual void CreateStore() = 0;
    // Throws Error, with the text the user is shown, when the value cannot be written.
    virtual void WriteValue(const std::string& name, int32_t value) = 0;
    // Ends the use. Throws Error when what was written cannot be kept.
    virtual void CloseStore() = 0;
    // Whether the open store could be read at all. One that is there but cannot be read
    // (no permission, a file far too large) is never written, so nothing is lost.
    virtual bool Readable() const { return true; }
    // How the user hears of `first`, the first value start-up could not read.
    virtual std::string UnreadProblem(const std::string& first) const { return first; }
};

} // namespace lumivane
