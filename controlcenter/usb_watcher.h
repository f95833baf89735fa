// The watcher of the maker's USB boards: a scan of the present boards of the
// maker's setup class and the balloons for arriving, started, failed and
// removed boards.
#ifndef TARVEX_CONTROLCENTER_USB_WATCHER_H
#define TARVEX_CONTROLCENTER_USB_WATCHER_H

#include <cstddef>
#include <cstdint>
#include <string>

// One present board.
struct UsbBoardRecord {
    std::uint32_t deviceInstance; // records are compared by this alone
    std::uint16_t productId;
    char description[256];
    std::uint32_t status;
    std::uint32_t problem;
};

constexpr int kBoardTableSize = 64;
constexpr std::uint32_t kStatusStarted = 0x8;     // DN_STARTED
constexpr std::uint32_t kProblemFailedStart = 10; // CM_PROB_FAILED_START

extern const char kHardwareIdPattern[];

// Reads the product id from a hardware id of the maker's boards.
bool MatchHardwareId(const char *hardwareId, std::uint16_t &productId);

// The present devices of the maker's setup class, member by member.
class BoardEnumeration
{
  public:
    enum class Member { Found, NoMore, Failed };
    enum class Property { Read, Absent, TooSmall, Failed };

    virtual ~BoardEnumeration() = default;
    // Takes the set of present devices; false when that fails.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual Member At(int index, std::uint32_t &deviceInstance) = 0;
    // The member's hardware ids, NUL-terminated strings ended by an empty one.
    // On TooSmall, required holds the size that would do.
    virtual Property HardwareIds(int index, char *buffer, std::size_t capacity,
                                 std::size_t &required) = 0;
    virtual void Description(int index, char *buffer, std::size_t capacity) = 0;
    virtual void NodeStatus(std::uint32_t deviceInstance, std::uint32_t &status,
                            std::uint32_t &problem) = 0;
};

// Fills the table with at most capacity boards in handle order and returns how
// many; a failed scan gives 0.
int ScanUsbBoards(BoardEnumeration &enumeration, UsbBoardRecord *table, int capacity);

// What the watcher asks of the program.
class WatcherEvents
{
  public:
    enum { kInfo = 1, kError = 3 }; // NIIF_INFO, NIIF_ERROR
    virtual ~WatcherEvents() = default;
    virtual void PostBalloon(const char *title, const char *text, unsigned iconKind,
                             unsigned timeoutSeconds) = 0;
    virtual void RebuildReport() = 0;
};

class UsbWatcher
{
  public:
    UsbWatcher(BoardEnumeration &enumeration, WatcherEvents &events);

    // The list at start-up; announces nothing.
    void TakeFirstList();
    // On every device-change notification, whatever it concerns.
    bool HandleDeviceChange();

    int BoardCount() const { return boardCount_; }
    const UsbBoardRecord &Board(int index) const { return boards_[index]; }
    int PendingIndex() const { return pendingIndex_; }

  private:
    void Arrived();
    void Removed(int newCount);
    void CheckPending();

    BoardEnumeration &enumeration_;
    WatcherEvents &events_;
    int boardCount_ = 0;
    UsbBoardRecord boards_[kBoardTableSize];
    int pendingIndex_ = -1;
    UsbBoardRecord scratch_[kBoardTableSize];
};

#endif
