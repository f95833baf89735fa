#include "usb_watcher.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

const char kHardwareIdPattern[] = "USB\\Vid_7c2e&Pid_%X";

namespace
{

// Hardware-id lists are first read into a buffer of this size; a longer list
// is read again with the size the system asks for.
constexpr std::size_t kHardwareIdBufferSize = 512;

const char kBoardTitle[] = "Tarvex - USB-Kestra device";

enum class Balloon { LoadingFirmware, Adding, FailedStart, Started, RemovedWithProblem, Removed };

struct BalloonText {
    Balloon balloon;
    const char *title;
    const char *text; // null: the board's description
    unsigned iconKind;
    unsigned timeoutSeconds;
};

const BalloonText kBalloons[] = {
    {Balloon::LoadingFirmware, kBoardTitle, "Loading firmware - Please wait!", WatcherEvents::kInfo,
     23},
    {Balloon::Adding, kBoardTitle, "Adding new device", WatcherEvents::kInfo, 10},
    {Balloon::FailedStart, kBoardTitle,
     "New board detected!\nThe Kestra EEPROM has been reprogrammed\nPlease remove the device, "
     "power "
     "the Kestra down and then up again and then reattach the device",
     WatcherEvents::kError, 10},
    {Balloon::Started, "Tarvex - Added USB-Kestra device", nullptr, WatcherEvents::kInfo, 10},
    {Balloon::RemovedWithProblem, kBoardTitle, "Removed device", WatcherEvents::kInfo, 10},
    {Balloon::Removed, "Tarvex - Removed USB-Kestra device", nullptr, WatcherEvents::kInfo, 10},
};

void Post(WatcherEvents &events, Balloon balloon, const UsbBoardRecord &board)
{
    for (const BalloonText &entry : kBalloons)
        if (entry.balloon == balloon)
            events.PostBalloon(entry.title, entry.text ? entry.text : board.description,
                               entry.iconKind, entry.timeoutSeconds);
}

// Boards that load their firmware after being attached.
bool LoadsFirmware(std::uint16_t productId)
{
    return (productId & 0xFF00) == 0x4600 || (productId & 0xF000) == 0x6000;
}

int FirstDifference(const UsbBoardRecord *a, const UsbBoardRecord *b, int count)
{
    int index = 0;
    while (index < count && a[index].deviceInstance == b[index].deviceInstance)
        ++index;
    return index;
}

// The member's first hardware id of the maker's pattern; the list is walked
// only within the bytes read, whether or not it ends properly.
bool FindProductId(const std::vector<char> &list, std::uint16_t &productId)
{
    const char *id = list.data();
    const char *end = id + list.size();
    while (id < end && *id) {
        const char *idEnd = static_cast<const char *>(std::memchr(id, '\0', end - id));
        if (!idEnd)
            return false;
        if (MatchHardwareId(id, productId))
            return true;
        id = idEnd + 1;
    }
    return false;
}

enum class Read { Done, Absent, Failed };

Read ReadHardwareIds(BoardEnumeration &enumeration, int index, std::vector<char> &list)
{
    list.assign(kHardwareIdBufferSize, '\0');
    for (;;) {
        std::size_t required = 0;
        switch (enumeration.HardwareIds(index, list.data(), list.size(), required)) {
        case BoardEnumeration::Property::Read:
            return Read::Done;
        case BoardEnumeration::Property::Absent:
            return Read::Absent;
        case BoardEnumeration::Property::TooSmall:
            if (required <= list.size())
                return Read::Failed;
            list.assign(required, '\0');
            break;
        case BoardEnumeration::Property::Failed:
            return Read::Failed;
        }
    }
}

} // namespace

bool MatchHardwareId(const char *hardwareId, std::uint16_t &productId)
{
    unsigned int number = 0;
    if (std::sscanf(hardwareId, kHardwareIdPattern, &number) != 1)
        return false;
    productId = static_cast<std::uint16_t>(number);
    return true;
}

int ScanUsbBoards(BoardEnumeration &enumeration, UsbBoardRecord *table, int capacity)
{
    if (!enumeration.Open())
        return 0;
    int count = 0;
    std::vector<char> list;
    for (int index = 0; count < capacity; ++index) {
        std::uint32_t deviceInstance = 0;
        BoardEnumeration::Member member = enumeration.At(index, deviceInstance);
        if (member == BoardEnumeration::Member::NoMore)
            break;
        Read read = member == BoardEnumeration::Member::Found
                        ? ReadHardwareIds(enumeration, index, list)
                        : Read::Failed;
        if (read == Read::Failed) {
            enumeration.Close();
            return 0;
        }
        std::uint16_t productId = 0;
        if (read == Read::Absent || !FindProductId(list, productId))
            continue;
        UsbBoardRecord &board = table[count++];
        board = UsbBoardRecord{deviceInstance, productId, "", 0, 0};
        enumeration.Description(index, board.description, sizeof board.description);
        board.description[sizeof board.description - 1] = '\0';
        enumeration.NodeStatus(deviceInstance, board.status, board.problem);
    }
    enumeration.Close();
    std::sort(table, table + count, [](const UsbBoardRecord &a, const UsbBoardRecord &b) {
        return a.deviceInstance < b.deviceInstance;
    });
    return count;
}

UsbWatcher::UsbWatcher(BoardEnumeration &enumeration, WatcherEvents &events)
    : enumeration_(enumeration), events_(events)
{
}

void UsbWatcher::TakeFirstList()
{
    boardCount_ = ScanUsbBoards(enumeration_, boards_, kBoardTableSize);
    pendingIndex_ = -1;
}

bool UsbWatcher::HandleDeviceChange()
{
    int newCount = ScanUsbBoards(enumeration_, scratch_, kBoardTableSize);
    if (newCount > boardCount_)
        Arrived();
    else if (newCount < boardCount_)
        Removed(newCount);
    else
        CheckPending();
    std::copy(scratch_, scratch_ + newCount, boards_);
    boardCount_ = newCount;
    return true;
}

void UsbWatcher::Arrived()
{
    int index = FirstDifference(boards_, scratch_, boardCount_);
    const UsbBoardRecord &board = scratch_[index];
    Post(events_, LoadsFirmware(board.productId) ? Balloon::LoadingFirmware : Balloon::Adding,
         board);
    pendingIndex_ = index;
}

void UsbWatcher::Removed(int newCount)
{
    const UsbBoardRecord &board = boards_[FirstDifference(boards_, scratch_, newCount)];
    if (board.problem != 0) {
        Post(events_, Balloon::RemovedWithProblem, board);
    } else {
        Post(events_, Balloon::Removed, board);
        events_.RebuildReport();
    }
    pendingIndex_ = -1;
}

void UsbWatcher::CheckPending()
{
    if (pendingIndex_ < 0)
        return;
    const UsbBoardRecord &board = scratch_[pendingIndex_];
    if (board.problem == kProblemFailedStart) {
        Post(events_, Balloon::FailedStart, board);
        pendingIndex_ = -1;
    } else if (board.problem == 0 && (board.status & kStatusStarted)) {
        Post(events_, Balloon::Started, board);
        events_.RebuildReport();
        pendingIndex_ = -1;
    }
}
