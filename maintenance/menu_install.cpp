#include "maintenance/menu_install.h"

#include "device/disk_info.h"
#include "device/drive_layer.h"
#include "device/sector_io.h"
#include "maintenance/side_files.h"
#include "obfs/card.h"
#include "platform/host_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// The kept handle of the default card (open_menu_drive and the rest).
cMenuDrive& default_menu_drive() {
    static cMenuDrive the_drive;
    return the_drive;
}

// A host file that closes itself on every path.
class HostFile {
public:
    explicit HostFile(host::Descriptor fd) : fd_(fd) {}
    ~HostFile() { if (fd_ != host::NO_DESCRIPTOR) host::close_file(fd_); }
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;
    host::Descriptor fd() const { return fd_; }
private:
    host::Descriptor fd_;
};

// Fills up to `length` bytes from `offset`, going on after short reads, so every chunk
// but the last is whole and the chunks written never outnumber the file's 32 KiB
// pieces. -1 on a read error.
int64_t read_chunk(host::Descriptor fd, uint64_t offset, uint8_t* buffer, size_t length) {
    size_t got = 0;
    while (got < length) {
        const int64_t n = host::read_at(fd, buffer + got, length - got, offset + got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        got += size_t(n);
    }
    return int64_t(got);
}

}  // namespace

// The chunk buffer goes to an unbuffered drive handle, which wants it aligned to the
// device's block size; a page is enough for every device.
cMenuDrive::cMenuDrive()
    : chunk_(static_cast<uint8_t*>(host::aligned_alloc(4096, MENU_CHUNK_BYTES))) {}

cMenuDrive::~cMenuDrive() = default;

void cMenuDrive::close() { handle_.reset(); }

bool cMenuDrive::open(uint8_t drive, cDisk& card_disk) {
    close();
    // Drive 0 is the host's system disk: never write a menu program over its start.
    if (drive == 0) return false;
    c_disk_info info;
    if (!info.probe(drive)) return false;
    // Writes the sector layer still holds for its own handle go out first, so none of
    // them can land after (and over) what this handle writes. (A format defers this
    // flush; its own writes before the menu program never touch the menu area.)
    card_disk.flush();
    handle_ = drive_layer::open_drive(drive, drive_layer::READ_WRITE, /*unbuffered=*/true);
    if (!handle_ || !chunk_) return false;
    // The same size test as the sector layer: the low 32 bits of the capacity.
    if (uint32_t(info.capacity) > MAX_DISK_SIZE) {
        close();
        return false;
    }
    return true;
}

bool cMenuDrive::write(const std::string& path) {
    if (!handle_) return false;
    uint8_t* const chunk_buffer = chunk_.get();
    // Opened without blocking and checked before any read: a pipe, socket or device in
    // place of the file must neither hang the program nor feed the card.
    HostFile file(host::open_file(path, host::OPEN_READ | host::OPEN_NONBLOCK));
    host::FileStatus st;
    if (file.fd() == host::NO_DESCRIPTOR || !host::status_of(file.fd(), &st) || st.kind != host::Kind::Regular) {
        std::printf("source file does not exist.\n");
        return false;
    }
    if (st.size == 0) {
        std::printf("source file has zero length.\n");
        return false;
    }
    // A larger program would run on into the cluster map at sector 8193.
    if (st.size > MENU_AREA_BYTES) {
        std::printf("source file is larger than the menu program area.\n");
        return false;
    }
    host::reading_once(file.fd());
    const uint32_t size = uint32_t(st.size);
    if (!handle_->seek(MENU_AREA_OFFSET)) return false;

    uint32_t total = 0;
    uint32_t chunks = 0;
    while (total < size && chunks < MENU_AREA_BYTES / MENU_CHUNK_BYTES) {
        std::memset(chunk_buffer, 0, MENU_CHUNK_BYTES);
        const int64_t got = read_chunk(file.fd(), total, chunk_buffer, MENU_CHUNK_BYTES);
        if (got < 0) {
            std::printf("read error\n");
            return false;
        }
        // The file shrank under us: the area would hold a program cut short.
        if (got == 0) {
            std::printf("read error\n");
            return false;
        }
        uint32_t written = 0;
        // The whole chunk goes out, so the last one carries zeros after the file's end.
        bool ok = handle_->write(chunk_buffer, MENU_CHUNK_BYTES, &written);
        if (!ok || written != MENU_CHUNK_BYTES) {
            int code = ok ? EIO : errno;  // a short write counts as an I/O error
            std::printf("(%08x) (%08x) (%d) (%d)\n",
                        unsigned(reinterpret_cast<uintptr_t>(handle_.get())),
                        unsigned(reinterpret_cast<uintptr_t>(chunk_buffer)), int(got),
                        int(written));
            std::printf("%08x\n", unsigned(code));
            std::printf("write error\n");
            return false;
        }
        total += uint32_t(got);
        ++chunks;
    }
    // The card may be pulled right after the confirmation: put the program on it now.
    if (!handle_->flush()) {
        std::printf("write error\n");
        return false;
    }
    return true;
}

namespace {

bool install_through(cMenuDrive& menu, cDisk& card_disk, uint8_t drive) {
    if (!menu.open(drive, card_disk)) {
        std::printf("Initialize disk fail\n");
        return false;
    }
    if (!menu.write(beside_program(MENU_PROGRAM_FILE))) {
        std::printf("fail to copy ORBBoot program.\n");
        return false;
    }
    return true;
}

}  // namespace

bool install_menu_program(cCard& card, uint8_t drive) {
    cMenuDrive menu;
    return install_through(menu, card.disk(), drive);
}

bool install_menu_program(uint8_t drive) { return install_through(default_menu_drive(), default_disk(), drive); }

bool open_menu_drive(uint8_t drive) { return default_menu_drive().open(drive, default_disk()); }

bool write_menu_area(const std::string& path) { return default_menu_drive().write(path); }

void close_menu_drive() { default_menu_drive().close(); }
