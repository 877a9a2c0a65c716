#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kivora::platform {

// Where the saved login's bytes live between runs.
class ILoginStore {
public:
    virtual ~ILoginStore() = default;
    // The whole stored record, or nothing when there is none or it cannot be read
    // (unreadable, larger than maxBytes, or not trustworthy).
    virtual std::optional<std::string> Read(std::size_t maxBytes) = 0;
    // Replaces the record as a whole; false when it could not be written.
    virtual bool Write(std::string_view bytes) = 0;
    // Deletes the record and the folder that holds it (log out); true when no record is left.
    virtual bool Remove() = 0;
};

// The record as a file readable by its owner only: <folder>/Data, mode 0600, in a
// folder of mode 0700, replaced through a temporary file and a rename. Links in the
// place of the folder or the file are never followed, and a record that another user
// could have written (foreign owner, or writable by group or others) is not read.
class CFileLoginStore final : public ILoginStore {
public:
    explicit CFileLoginStore(std::filesystem::path folder = DefaultFolder());

    // $XDG_CONFIG_HOME/KVR/Client/Login (~/.config/KVR/Client/Login by default).
    static std::filesystem::path DefaultFolder();

    std::optional<std::string> Read(std::size_t maxBytes) override;
    bool Write(std::string_view bytes) override;
    bool Remove() override;

    const std::filesystem::path& Folder() const { return folder; }

private:
    std::filesystem::path folder;
};

} // namespace kivora::platform
