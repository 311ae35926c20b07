// A small tmpfs mounted for one test, for writes that must fail for lack of space on
// the host (a sparse card image whose holes cannot be filled). Needs the right to
// mount; `unavailable()` says why not, for a visible skip.
#pragma once

#include <cstdint>
#include <string>

namespace testcards {

class SmallTmpfs {
public:
    // Mounts a tmpfs of `bytes` at a fresh folder below the system temp folder.
    explicit SmallTmpfs(uint64_t bytes);
    ~SmallTmpfs();
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    const std::string& unavailable() const { return why_not_; }  // empty when mounted
    std::string file(const std::string& name) const { return dir_ + "/" + name; }
    // Fills it with a file "filler" until only `room` bytes are left; false when less
    // than that is free already.
    bool leave_room(uint64_t room) const;
    // Removes the filler again.
    void make_room() const;

private:
    std::string dir_;
    std::string why_not_;
    bool mounted_ = false;
};

}  // namespace testcards
