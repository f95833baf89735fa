#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "usb_watcher.h"

namespace
{

struct FakeMember {
    std::uint32_t handle;
    std::string hardwareIds; // NUL-separated, the final empty string added by the fake
    std::string description = "USB-Kestra board";
    std::uint32_t status = kStatusStarted;
    std::uint32_t problem = 0;
    bool hasHardwareIds = true;
};

std::string Ids(std::uint16_t productId)
{
    char id[64];
    std::snprintf(id, sizeof id, "USB\\Vid_7c2e&Pid_%04X&Rev_0100", productId);
    return std::string(id) + '\0' + "USB\\Vid_7c2e&Pid_" + std::to_string(productId);
}

class FakeEnumeration : public BoardEnumeration
{
  public:
    std::vector<FakeMember> members;
    bool openFails = false;
    int memberFailsAt = -1;
    int propertyFailsAt = -1;
    int opens = 0, closes = 0;

    bool Open() override
    {
        ++opens;
        return !openFails;
    }
    void Close() override { ++closes; }
    Member At(int index, std::uint32_t &handle) override
    {
        if (index == memberFailsAt)
            return Member::Failed;
        if (index >= static_cast<int>(members.size()))
            return Member::NoMore;
        handle = members[index].handle;
        return Member::Found;
    }
    Property HardwareIds(int index, char *buffer, std::size_t capacity,
                         std::size_t &required) override
    {
        const FakeMember &member = members[index];
        if (index == propertyFailsAt)
            return Property::Failed;
        if (!member.hasHardwareIds)
            return Property::Absent;
        std::string list = member.hardwareIds + std::string(2, '\0');
        if (list.size() > capacity) {
            required = list.size();
            return Property::TooSmall;
        }
        list.copy(buffer, list.size()); // a double-NUL-ended list, copied whole
        return Property::Read;
    }
    void Description(int index, char *buffer, std::size_t capacity) override
    {
        std::snprintf(buffer, capacity, "%s", members[index].description.c_str());
    }
    void NodeStatus(std::uint32_t handle, std::uint32_t &status, std::uint32_t &problem) override
    {
        for (const FakeMember &member : members)
            if (member.handle == handle) {
                status = member.status;
                problem = member.problem;
            }
    }
};

struct Posted {
    std::string title, text;
    unsigned kind, timeout;
    bool operator==(const Posted &other) const
    {
        return title == other.title && text == other.text && kind == other.kind &&
               timeout == other.timeout;
    }
};

class RecordingEvents : public WatcherEvents
{
  public:
    std::vector<Posted> balloons;
    int reports = 0;
    void PostBalloon(const char *title, const char *text, unsigned kind, unsigned timeout) override
    {
        balloons.push_back({title, text, kind, timeout});
    }
    void RebuildReport() override { ++reports; }
};

TEST(HardwareId, MatchesThePatternAsScanfReadsIt)
{
    struct Case {
        const char *id;
        bool matches;
        std::uint16_t productId;
    } cases[] = {
        {"USB\\Vid_7c2e&Pid_4610", true, 0x4610},
        {"USB\\Vid_7c2e&Pid_4610&Rev_0001", true, 0x4610},
        {"USB\\Vid_7c2e&Pid_6a0f", true, 0x6A0F},
        {"USB\\Vid_7c2e&Pid_123456", true, 0x3456}, // low 16 bits
        {"USB\\Vid_7c2e&Pid_0x1F", true, 0x1F},
        {"USB\\VID_7C2E&PID_4610", false, 0},
        {"USB\\Vid_7C2E&Pid_4610", false, 0},
        {"usb\\Vid_7c2e&Pid_4610", false, 0},
        {"USB\\Vid_7c2e&Pid_", false, 0},
        {"USB\\Vid_7c2e&Pid_zz", false, 0},
        {"USB\\Vid_1234&Pid_4610", false, 0},
        {"HID\\Vid_7c2e&Pid_4610", false, 0},
    };
    for (const Case &c : cases) {
        std::uint16_t productId = 0;
        EXPECT_EQ(MatchHardwareId(c.id, productId), c.matches) << c.id;
        if (c.matches) {
            EXPECT_EQ(productId, c.productId) << c.id;
        }
    }
}

class Scan : public ::testing::Test
{
  protected:
    int Run() { return ScanUsbBoards(devices, table, kBoardTableSize); }
    FakeEnumeration devices;
    UsbBoardRecord table[kBoardTableSize];
};

TEST_F(Scan, ListsMatchingDevicesInHandleOrderWithTheirFirstMatch)
{
    devices.members = {
        {30, std::string("USB\\VID_7C2E&PID_1111") + '\0' + "USB\\Vid_7c2e&Pid_2222"},
        {10, Ids(0x4610), "Kestra 8", 0, 10},
        {20, "USB\\Vid_0001&Pid_4610"},
        {40, "", "no ids", 0, 0, false},
        {5, std::string(600, 'x') + '\0' + "USB\\Vid_7c2e&Pid_6001"}, // longer than 512 bytes
    };
    ASSERT_EQ(Run(), 3);
    EXPECT_EQ(table[0].deviceInstance, 5u);
    EXPECT_EQ(table[0].productId, 0x6001);
    EXPECT_EQ(table[1].deviceInstance, 10u);
    EXPECT_EQ(table[1].productId, 0x4610);
    EXPECT_STREQ(table[1].description, "Kestra 8");
    EXPECT_EQ(table[1].problem, 10u);
    EXPECT_EQ(table[2].deviceInstance, 30u);
    EXPECT_EQ(table[2].productId, 0x2222);
    EXPECT_EQ(devices.closes, 1);
}

TEST_F(Scan, FailuresCountAsAnEmptyList)
{
    devices.members = {{1, Ids(0x4610)}, {2, Ids(0x4611)}};
    devices.openFails = true;
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(devices.closes, 0);
    devices.openFails = false;

    devices.propertyFailsAt = 1;
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(devices.closes, 1);
    devices.propertyFailsAt = -1;

    devices.memberFailsAt = 2;
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(devices.closes, 2);
}

TEST_F(Scan, StopsAtTheTableSize)
{
    for (std::uint32_t handle = 100; handle > 0; --handle)
        devices.members.push_back({handle, Ids(0x1000)});
    ASSERT_EQ(Run(), kBoardTableSize);
    // the first 64 found, sorted
    EXPECT_EQ(table[0].deviceInstance, 37u);
    EXPECT_EQ(table[kBoardTableSize - 1].deviceInstance, 100u);
}

const char kTitle[] = "Tarvex - USB-Kestra device";
const char kFailedText[] = "New board detected!\nThe Kestra EEPROM has been reprogrammed\n"
                           "Please remove the device, power the Kestra down and then up again "
                           "and then reattach the device";

class Watcher : public ::testing::Test
{
  protected:
    Watcher() : watcher(devices, events) {}
    FakeMember &Attach(std::uint32_t handle, std::uint16_t productId, std::uint32_t status = 0)
    {
        devices.members.push_back(
            {handle, Ids(productId), "Board " + std::to_string(handle), status});
        return devices.members.back();
    }
    void Detach(std::uint32_t handle)
    {
        for (auto it = devices.members.begin(); it != devices.members.end(); ++it)
            if (it->handle == handle) {
                devices.members.erase(it);
                return;
            }
    }
    void Notify()
    {
        events.balloons.clear();
        events.reports = 0;
        EXPECT_TRUE(watcher.HandleDeviceChange());
    }
    FakeEnumeration devices;
    RecordingEvents events;
    UsbWatcher watcher;
};

TEST_F(Watcher, FirstListAnnouncesNothing)
{
    Attach(1, 0x4610, kStatusStarted);
    watcher.TakeFirstList();
    EXPECT_EQ(watcher.BoardCount(), 1);
    EXPECT_EQ(watcher.PendingIndex(), -1);
    Notify();
    EXPECT_TRUE(events.balloons.empty());
    EXPECT_EQ(events.reports, 0);
}

TEST_F(Watcher, ArrivalBalloonDependsOnTheProductIdMasks)
{
    struct Case {
        std::uint16_t productId;
        bool loadsFirmware;
    } cases[] = {{0x4600, true},  {0x46FF, true},  {0x6000, true},  {0x6FFF, true},
                 {0x4500, false}, {0x4700, false}, {0x5FFF, false}, {0x7000, false},
                 {0x0646, false}, {0x0006, false}};
    std::uint32_t handle = 1;
    for (const Case &c : cases) {
        devices.members.clear();
        watcher.TakeFirstList();
        Attach(handle++, c.productId);
        Notify();
        Posted expected = c.loadsFirmware ? Posted{kTitle, "Loading firmware - Please wait!", 1, 23}
                                          : Posted{kTitle, "Adding new device", 1, 10};
        ASSERT_EQ(events.balloons.size(), 1u);
        EXPECT_EQ(events.balloons[0], expected) << std::hex << c.productId;
        EXPECT_EQ(watcher.PendingIndex(), 0);
    }
}

TEST_F(Watcher, PendingBoardStartsOrFails)
{
    Attach(10, 0x1000);
    watcher.TakeFirstList();
    FakeMember &board = Attach(20, 0x4610);
    Notify();
    EXPECT_EQ(watcher.PendingIndex(), 1);

    Notify(); // not started yet: stays pending
    EXPECT_TRUE(events.balloons.empty());
    EXPECT_EQ(watcher.PendingIndex(), 1);

    board.status = kStatusStarted;
    board.problem = 3; // started but with another problem: still waiting
    Notify();
    EXPECT_TRUE(events.balloons.empty());

    board.problem = 0;
    Notify();
    ASSERT_EQ(events.balloons.size(), 1u);
    EXPECT_EQ(events.balloons[0], (Posted{"Tarvex - Added USB-Kestra device", "Board 20", 1, 10}));
    EXPECT_EQ(events.reports, 1);
    EXPECT_EQ(watcher.PendingIndex(), -1);

    Notify(); // announced once only
    EXPECT_TRUE(events.balloons.empty());

    Attach(30, 0x4611).problem = kProblemFailedStart;
    Notify();
    Notify();
    ASSERT_EQ(events.balloons.size(), 1u);
    EXPECT_EQ(events.balloons[0], (Posted{kTitle, kFailedText, 3, 10}));
    EXPECT_EQ(events.reports, 0);
    EXPECT_EQ(watcher.PendingIndex(), -1);
}

TEST_F(Watcher, RemovalBalloonNamesOnlyBoardsWithoutProblem)
{
    Attach(10, 0x1000);
    Attach(20, 0x1000).problem = kProblemFailedStart;
    Attach(30, 0x1000);
    watcher.TakeFirstList();

    Detach(20);
    Notify();
    ASSERT_EQ(events.balloons.size(), 1u);
    EXPECT_EQ(events.balloons[0], (Posted{kTitle, "Removed device", 1, 10}));
    EXPECT_EQ(events.reports, 0);

    Detach(30); // the last one: found past the common part
    Notify();
    ASSERT_EQ(events.balloons.size(), 1u);
    EXPECT_EQ(events.balloons[0],
              (Posted{"Tarvex - Removed USB-Kestra device", "Board 30", 1, 10}));
    EXPECT_EQ(events.reports, 1);
    EXPECT_EQ(watcher.BoardCount(), 1);
}

TEST_F(Watcher, TwoArrivalsAnnounceTheFirstDifference)
{
    Attach(10, 0x1000);
    Attach(40, 0x1000);
    watcher.TakeFirstList();
    Attach(20, 0x4610);
    Attach(30, 0x1000);
    Notify();
    ASSERT_EQ(events.balloons.size(), 1u);
    EXPECT_EQ(events.balloons[0].text, "Loading firmware - Please wait!");
    EXPECT_EQ(watcher.PendingIndex(), 1);
    EXPECT_EQ(watcher.Board(1).deviceInstance, 20u);
    EXPECT_EQ(watcher.BoardCount(), 4);
}

TEST_F(Watcher, ArrivalWhilePendingMovesThePendingBoard)
{
    watcher.TakeFirstList();
    Attach(20, 0x4610);
    Notify();
    Attach(10, 0x1000);
    Notify();
    EXPECT_EQ(events.balloons[0].text, "Adding new device");
    EXPECT_EQ(watcher.PendingIndex(), 0);

    // A removal ends any pending announcement.
    Detach(20);
    Notify();
    EXPECT_EQ(watcher.PendingIndex(), -1);
}

TEST_F(Watcher, FailedScanMakesBoardsArriveAgain)
{
    Attach(10, 0x1000, kStatusStarted);
    watcher.TakeFirstList();
    devices.openFails = true;
    Notify();
    EXPECT_EQ(events.balloons[0].title, "Tarvex - Removed USB-Kestra device");
    EXPECT_EQ(watcher.BoardCount(), 0);
    devices.openFails = false;
    Notify();
    EXPECT_EQ(events.balloons[0].text, "Adding new device");
}

} // namespace
