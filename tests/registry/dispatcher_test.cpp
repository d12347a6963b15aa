#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kal/sim/faults.h"
#include "kal/sim/user.h"
#include "deviceWindow/deviceWindowDispatcher.h"
#include "kzRegiTools/dispatcher.h"
#include "kzapal/protons/statusCodes.h"

using kzregitools::tMutex;
using nKZAPALS100::tStatus;

namespace {

// Stands in for a register map or storage map: an object with its two version texts.
struct NamedMap {
    const char* version;
    const char* oldest;
    const char* getVersion() const { return version; }
    const char* getOldestCompatibleVersion() const { return oldest; }
};

using MapRegistry = kzregitools::Dispatcher<NamedMap>;
using WindowRegistry = devicewindow::DeviceWindowDispatcher;
using NamedWindow = devicewindow::DeviceWindow;

// The window registry only keeps a window's address; no window is needed behind it.
NamedWindow& someWindow() {
    alignas(16) static unsigned char storage[16];
    return *reinterpret_cast<NamedWindow*>(storage);
}

constexpr int64_t kTooOld = kzregitools::kStatusVersionTooOld;
constexpr int64_t kNewer = kzregitools::kStatusVersionNewerThanObject;
constexpr int64_t kBadText = kzregitools::kStatusBadVersionText;
constexpr int64_t kNotSupported = kzregitools::kStatusVersionNotSupported;
constexpr int64_t kRequired = kzregitools::kStatusVersionRequired;
constexpr int64_t kNotFound = kzregitools::kStatusNameNotFound;
constexpr int64_t kOutOfRange = kzregitools::kStatusVersionOutOfRange;
constexpr int64_t kNull = kzregitools::kStatusNullPointer;

template <class Registry>
std::string listOf(const Registry& registry) {
    kzhtl::String list;
    tStatus status;
    registry.getRegistrationList(list, status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(registry.getSizeOfRegistrationList(), list.size() + 1) << list.c_str();
    return list.c_str();
}

template <class Registry, class Object>
void add(Registry& registry, const char* name, Object& object) {
    tStatus status;
    registry.add(name, object, status);
    ASSERT_EQ(status.code, 0) << name;
}

// Every test leaves the kernel layer's allocations as it found them.
class Registries : public ::testing::Test {
protected:
    // After the members of derived fixtures are gone.
    ~Registries() override { EXPECT_EQ(kal::sim::liveAllocations(), liveAtStart_); }

private:
    int64_t liveAtStart_ = kal::sim::liveAllocations();
};

}  // namespace

TEST_F(Registries, LookupByNameAndVersion) {
    NamedMap triggers{"200a13081315", "200a13081315"};
    NamedMap header{"1.0.0d4", "1.0.0d1"};
    NamedMap unversioned{"", ""};
    NamedWindow& flash = someWindow();
    MapRegistry maps;
    WindowRegistry windows;
    add(maps, "Triggers", triggers);
    add(maps, "Header", header);
    add(maps, "Plain", unversioned);
    add(windows, "flashWindow", flash);

    struct Case {
        const char* text;
        int64_t code;
        const void* object;  // handed out, or null
    };
    const Case mapCases[] = {
        {"Triggers", kRequired, nullptr},
        {"Triggers_Ver", kRequired, nullptr},
        {"Triggers_Ver200a13081315", 0, &triggers},
        {"Triggers_Ver2.0.0a13081315", 0, &triggers},
        {"Triggers_Ver1.0.0d0", kTooOld, nullptr},
        {"Triggers_Ver3.0.0d0", kNewer, &triggers},
        {"Triggers_Ver200a13081315_Ver1", kBadText, nullptr},
        {"Triggers_Ver256.0.0d0", kOutOfRange, nullptr},
        {"triggers_Ver200a13081315", kNotFound, nullptr},
        {"Trigger_Ver200a13081315", kNotFound, nullptr},
        {"TriggersX_Ver200a13081315", kNotFound, nullptr},
        {"", kNotFound, nullptr},
        {"Header_Ver1.0.0d0", kTooOld, nullptr},
        {"Header_Ver1.0.0d1", 0, &header},
        {"Header_Ver1.0.0d4", 0, &header},
        {"Header_Ver1.0.0d5", kNewer, &header},
        {"Plain", 0, &unversioned},
        {"Plain_Ver1.0.0d0", kNotSupported, nullptr},
        {nullptr, kNull, nullptr},
    };
    const Case windowCases[] = {
        {"flashWindow", 0, &flash},
        {"flashWindow_Ver", 0, &flash},
        {"flashWindow_Ver0.0.0d0", 0, &flash},
        {"flashWindow_Ver1.0.0d0", kNotSupported, nullptr},
        {"flashWindow_Verx", kBadText, nullptr},
        {"NisoFpgaWindow", kNotFound, nullptr},
    };
    auto check = [](auto& registry, const Case& c, auto* object) {
        const char* label = c.text != nullptr ? c.text : "(null)";
        tStatus status;
        tMutex* lock = reinterpret_cast<tMutex*>(1);
        registry.getRegistration(c.text, object, status, &lock);
        EXPECT_EQ(status.code, c.code) << label;
        EXPECT_EQ(static_cast<const void*>(object), c.object) << label;
        if (c.object != nullptr) {
            EXPECT_NE(lock, reinterpret_cast<tMutex*>(1)) << label;
        } else {
            EXPECT_EQ(lock, reinterpret_cast<tMutex*>(1)) << label;  // not handed out on failure
        }
    };
    for (const Case& c : mapCases) check(maps, c, static_cast<NamedMap*>(&triggers));
    for (const Case& c : windowCases) check(windows, c, static_cast<NamedWindow*>(&flash));
}

TEST_F(Registries, LookupHandsOutTheRegistrationsOwnLock) {
    NamedMap a{"1.0.0d0", "1.0.0d0"};
    NamedMap b{"1.0.0d0", "1.0.0d0"};
    MapRegistry maps;
    add(maps, "A", a);
    add(maps, "B", b);
    tStatus status;
    MapRegistry::Wrapper* wrapper = nullptr;
    tMutex* lockA = nullptr;
    tMutex* lockB = nullptr;
    maps.getRegistration("A_Ver1.0.0d0", wrapper, status, &lockA);
    ASSERT_NE(wrapper, nullptr);
    EXPECT_EQ(wrapper->object, &a);
    EXPECT_EQ(lockA, &wrapper->lock);
    NamedMap* object = nullptr;
    maps.getRegistration("B_Ver1.0.0d0", object, status, &lockB);
    maps.getRegistration("A_Ver1.0.0d0", object, status, nullptr);  // a null lock pointer is allowed
    EXPECT_EQ(status.code, 0);
    EXPECT_NE(lockA, lockB);
    // Recursive: a request holding the lock may take it again.
    kzvorn_driver::nKZAPAL000::tAutoLock outer(*lockA);
    kzvorn_driver::nKZAPAL000::tAutoLock inner(*lockA);
}

TEST_F(Registries, IncomingErrorStopsLookupAndHandsOutNothing) {
    NamedMap map{"1.0.0d0", "1.0.0d0"};
    MapRegistry maps;
    add(maps, "A", map);
    tStatus failed;
    failed.code = -5;
    NamedMap* object = &map;
    maps.getRegistration("A_Ver1.0.0d0", object, failed, nullptr);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(failed.code, -5);
    // A warning already in the status does not stop the lookup.
    tStatus warned;
    warned.code = 7;
    maps.getRegistration("A_Ver1.0.0d0", object, warned, nullptr);
    EXPECT_EQ(object, &map);
    EXPECT_EQ(warned.code, 7);
}

TEST_F(Registries, DuplicateNamesFirstWinsAndRemovalUncoversTheNext) {
    NamedMap first{"1.0.0d0", "1.0.0d0"};
    NamedMap second{"1.0.0d0", "1.0.0d0"};
    NamedMap other{"1.0.0d0", "1.0.0d0"};
    MapRegistry maps;
    add(maps, "A", first);
    add(maps, "B", other);
    add(maps, "A", second);
    EXPECT_EQ(maps.getNumberOfRegistrations(), 3u);
    EXPECT_EQ(listOf(maps), "A\tB\tA");

    NamedMap* found = nullptr;
    tStatus status;
    maps.getRegistration("A_Ver1.0.0d0", found, status, nullptr);
    EXPECT_EQ(found, &first);
    EXPECT_EQ(maps.remove("A", status), nullptr);
    EXPECT_EQ(status.code, 0);
    maps.getRegistration("A_Ver1.0.0d0", found, status, nullptr);
    EXPECT_EQ(found, &second);
    EXPECT_EQ(listOf(maps), "B\tA");  // the others keep their order
}

// More names than the registry's index has slots, many of one length and ending alike, some
// registered twice under other versions: every lookup finds the first registration of its name,
// as a search in order would, through additions and removals alike; a name holding "_Ver" is
// never found, since a lookup splits at the first "_Ver" and the rest is no version.
TEST_F(Registries, ManyNamesEachFindTheFirstOfTheirName) {
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i) names.push_back("QuolinDMAChannel" + std::to_string(i % 100) + (i < 200 ? "" : "x"));
    names.push_back("Mux_VerA");
    std::vector<NamedMap> maps(names.size());
    for (size_t i = 0; i < names.size(); ++i) maps[i] = {i % 3 == 0 ? "2.0.0d0" : "1.0.0d0", "1.0.0d0"};
    MapRegistry registry;
    std::vector<size_t> order;  // positions into names, in registration order
    for (size_t i = 0; i < names.size(); ++i) {
        add(registry, names[i].c_str(), maps[i]);
        order.push_back(i);
    }
    auto expectFirstOfEachName = [&](const char* when) {
        for (const std::string& name : {std::string("QuolinDMAChannel7"), std::string("QuolinDMAChannel42x"),
                                        std::string("QuolinDMAChannel99"), std::string("QuolinDMAChannel0"),
                                        std::string("Mux_VerA"), std::string("QuolinDMAChannel100")}) {
            const NamedMap* expected = nullptr;
            for (size_t i : order)
                if (names[i] == name) {
                    expected = &maps[i];
                    break;
                }
            // The version as the first registration wrote it, and another form of a version every
            // registration accepts.
            const std::string asRegistered = std::string("_Ver") + (expected != nullptr ? expected->version : "1.0.0d0");
            for (const std::string& version : {asRegistered, std::string("_Ver01.0.0d00")}) {
                tStatus status;
                NamedMap* found = nullptr;
                registry.getRegistration((name + version).c_str(), found, status, nullptr);
                // After a name's own "_Ver" comes no version.
                const bool holdsMarker = name.find("_Ver") != std::string::npos;
                const bool findable = expected != nullptr && !holdsMarker;
                EXPECT_EQ(status.code, findable ? 0 : holdsMarker ? kBadText : kNotFound) << when << ": " << name << version;
                EXPECT_EQ(found, findable ? expected : nullptr) << when << ": " << name << version;
            }
        }
    };
    expectFirstOfEachName("after adding");
    // The first registration of some names goes, then a later one: the next of its name answers.
    tStatus status;
    for (const char* name : {"QuolinDMAChannel7", "QuolinDMAChannel42x", "QuolinDMAChannel99", "QuolinDMAChannel7"}) {
        registry.remove(name, status);
        for (size_t k = 0; k < order.size(); ++k)
            if (names[order[k]] == name) {
                order.erase(order.begin() + static_cast<long>(k));
                break;
            }
    }
    EXPECT_EQ(status.code, 0);
    expectFirstOfEachName("after removing");
}

// A request naming the version exactly as registered, or in another form of the same version,
// gets the same answer; either form of an older or newer version is judged as before.
TEST_F(Registries, AVersionAskedAsRegisteredOrInAnotherFormIsTheSame) {
    NamedMap padded{"007.0.0d0042", "007.0.0d0001"};
    NamedMap compact{"200a13081315", "200a13081315"};
    MapRegistry maps;
    add(maps, "Padded", padded);
    add(maps, "Compact", compact);
    struct Case {
        const char* text;
        int64_t code;
    };
    const Case cases[] = {
        {"Padded_Ver007.0.0d0042", 0},  {"Padded_Ver7.0.0d42", 0},   {"Padded_Ver007.0.0d004", 0},
        {"Padded_Ver7.0.0d43", kNewer}, {"Padded_Ver7.0.0d0", kTooOld}, {"Padded_Ver007.0.0d0042x", kBadText},
        {"Compact_Ver200a13081315", 0}, {"Compact_Ver2.0.0a13081315", 0}, {"Compact_Ver200a1308131", kTooOld},
    };
    for (const Case& c : cases) {
        tStatus status;
        NamedMap* found = nullptr;
        maps.getRegistration(c.text, found, status, nullptr);
        EXPECT_EQ(status.code, c.code) << c.text;
        EXPECT_EQ(found != nullptr, c.code >= 0) << c.text;
    }
}

TEST_F(Registries, RemoveReportsMissingNamesAndActsDespiteAnError) {
    NamedMap a{"1.0.0d0", "1.0.0d0"};
    NamedMap b{"1.0.0d0", "1.0.0d0"};
    MapRegistry maps;
    add(maps, "A", a);
    add(maps, "B", b);

    tStatus status;
    maps.remove("C", status);
    EXPECT_EQ(status.code, kNotFound);
    EXPECT_EQ(listOf(maps), "A\tB");
    tStatus nullName;
    maps.remove(nullptr, nullName);
    EXPECT_EQ(nullName.code, kNull);

    // Removing many names on one status: all go, the first failure is reported.
    maps.remove("B", status);
    maps.remove("A", status);
    EXPECT_EQ(status.code, kNotFound);
    EXPECT_EQ(maps.getNumberOfRegistrations(), 0u);
    // The form without status reports nothing.
    EXPECT_EQ(maps.remove("A"), nullptr);
}

TEST_F(Registries, NamesInSixtyFourByteSlots) {
    NamedWindow& window = someWindow();
    WindowRegistry windows;
    const std::string name63(63, 'x');
    const std::string name64(64, 'y');
    const std::string name70 = std::string(64, 'z') + "_tail";
    add(windows, "flashWindow", window);
    add(windows, name63.c_str(), window);
    add(windows, name64.c_str(), window);
    add(windows, name70.c_str(), window);

    std::vector<char> buffer(4 * 64, '#');
    tStatus status;
    windows.getRegistrationNames(buffer.data(), status);
    EXPECT_EQ(status.code, 0);
    EXPECT_STREQ(buffer.data(), "flashWindow");
    EXPECT_EQ(buffer[12], '#');  // bytes after the terminator are left alone
    EXPECT_EQ(std::string(buffer.data() + 64, 64), name63 + '\0');
    EXPECT_EQ(std::string(buffer.data() + 128, 64), name64);
    EXPECT_EQ(std::string(buffer.data() + 192, 64), std::string(64, 'z'));

    windows.getRegistrationNames(nullptr, status);
    EXPECT_EQ(status.code, kNull);
    EXPECT_EQ(listOf(windows), "flashWindow\t" + name63 + "\t" + name64 + "\t" + name70);
}

TEST_F(Registries, ListTextAndItsSize) {
    NamedWindow& window = someWindow();
    WindowRegistry empty;
    EXPECT_EQ(empty.getNumberOfRegistrations(), 0u);
    EXPECT_EQ(empty.getSizeOfRegistrationList(), 1u);
    EXPECT_EQ(listOf(empty), "");

    // An empty name writes no separator while the list is still empty.
    WindowRegistry windows;
    add(windows, "", window);
    add(windows, "a", window);
    add(windows, "", window);
    add(windows, "bc", window);
    EXPECT_EQ(listOf(windows), "a\t\tbc");
    EXPECT_EQ(windows.getSizeOfRegistrationList(), 6u);

    // The name registered as the empty text is found by the empty text.
    NamedWindow* found = nullptr;
    tStatus status;
    windows.getRegistration("", found, status, nullptr);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(found, &window);
}

TEST_F(Registries, FailedAddLeavesTheRegistryAsItWas) {
    NamedMap good{"1.0.0d0", "1.0.0d0"};
    NamedMap badVersion{"1.0.0x0", "1.0.0d0"};
    NamedMap badOldest{"1.0.0d0", "1.16.0d0"};
    NamedWindow& window = someWindow();
    MapRegistry maps;
    WindowRegistry windows;
    add(maps, "Good", good);

    struct Case {
        NamedMap* map;
        const char* name;
        int64_t code;
    };
    const Case cases[] = {
        {&badVersion, "Bad", kBadText},
        {&badOldest, "Bad", kOutOfRange},
        {&good, nullptr, kNull},
    };
    for (const Case& c : cases) {
        tStatus status;
        maps.add(c.name, *c.map, status);
        EXPECT_EQ(status.code, c.code);
        EXPECT_EQ(listOf(maps), "Good");
    }
    tStatus status;
    windows.add(nullptr, window, status);
    EXPECT_EQ(status.code, kNull);
    EXPECT_EQ(windows.getNumberOfRegistrations(), 0u);

    tStatus failed;
    failed.code = -3;
    maps.add("Other", good, failed);
    EXPECT_EQ(failed.code, -3);
    EXPECT_EQ(listOf(maps), "Good");
}

TEST_F(Registries, AddSurvivesEveryAllocationAndMutexFailure) {
    NamedMap map{"23.3.0f121", "23.3.0f121"};
    NamedMap first{"1.0.0d0", "1.0.0d0"};
    for (uint64_t nth = 1;; ++nth) {
        MapRegistry maps;
        add(maps, "First", first);
        tStatus status;
        bool failed;
        {
            kal::sim::FailAllocations fail(nth);
            maps.add("Quolin", map, status);
            failed = fail.triggered();
        }
        if (!failed) {
            EXPECT_EQ(status.code, 0);
            EXPECT_EQ(listOf(maps), "First\tQuolin");
            EXPECT_GT(nth, 1u);
            break;
        }
        EXPECT_EQ(status.code, nKZAPALS100::kStatusMemoryFull) << "allocation " << nth;
        EXPECT_EQ(listOf(maps), "First") << "allocation " << nth;
    }

    MapRegistry maps;
    tStatus status;
    {
        kal::sim::FailKernelCall fail("createMutex");
        maps.add("Quolin", map, status);
    }
    EXPECT_EQ(status.code, nKZAPALS100::kStatusMemoryFull);
    EXPECT_EQ(maps.getNumberOfRegistrations(), 0u);
}

// A name as user mode sends it: an address and a length in the caller's memory.
class CallerNames : public Registries {
protected:
    void SetUp() override { add(maps, "Triggers", triggers); }

    int64_t lookUp(const char* bytes, uint64_t length, NamedMap*& object, tMutex** lock = nullptr) {
        tStatus status;
        kzvorn_driver::nKZAPAL000::tEventDescriptor request{nullptr};
        maps.getRegistration(request, reinterpret_cast<uint64_t>(bytes), length, object, status, lock);
        return status.code;
    }

    NamedMap triggers{"200a13081315", "200a13081315"};
    NamedMap untouched{"", ""};
    MapRegistry maps;
};

TEST_F(CallerNames, NameNeedsNoTerminatorOfItsOwn) {
    const std::string callerBytes = "Triggers_Ver200a13081315garbage";
    kal::sim::UserMemory user(callerBytes.data(), callerBytes.size());
    struct Case {
        uint64_t length;
        int64_t code;
        NamedMap* object;
    };
    const Case cases[] = {
        {24, 0, &triggers},
        {8, kRequired, nullptr},
        {0, kNotFound, nullptr},
        {31, kBadText, nullptr},
    };
    for (const Case& c : cases) {
        NamedMap* object = &untouched;
        tMutex* lock = nullptr;
        EXPECT_EQ(lookUp(callerBytes.data(), c.length, object, &lock), c.code) << c.length;
        EXPECT_EQ(object, c.object) << c.length;
        EXPECT_EQ(lock != nullptr, c.object != nullptr) << c.length;
    }
}

TEST_F(CallerNames, FailuresBeforeTheLookupLeaveTheObjectAlone) {
    const std::string name = "Triggers_Ver200a13081315";
    NamedMap* object = &untouched;
    // Memory the caller does not own: the kernel layer's refusal passes through.
    EXPECT_EQ(lookUp(name.data(), name.size(), object), nKZAPALS100::kStatusBadParameter);
    EXPECT_EQ(object, &untouched);

    kal::sim::UserMemory user(name.data(), name.size());
    // A name of registered length is copied without the allocator.
    NamedMap* found = nullptr;
    int64_t code = 0;
    bool triggered = false;
    {
        kal::sim::FailAllocations fail(1);
        code = lookUp(name.data(), name.size(), found);
        triggered = fail.triggered();
    }
    EXPECT_EQ(code, 0);
    EXPECT_EQ(found, &triggers);
    EXPECT_FALSE(triggered);
    // A longer one needs memory for its copy.
    const std::string longName = name + std::string(200, 'x');
    kal::sim::UserMemory longUser(longName.data(), longName.size());
    {
        kal::sim::FailAllocations fail(1);
        EXPECT_EQ(lookUp(longName.data(), longName.size(), object), nKZAPALS100::kStatusMemoryFull);
    }
    EXPECT_EQ(object, &untouched);
    // Absurd lengths are refused before anything is allocated or copied (the largest would not
    // even leave room for the terminator).
    for (uint64_t length : {kzregitools::kMaxCallerNameLength + 1, UINT64_MAX}) {
        kal::sim::FailAllocations fail(1);
        EXPECT_EQ(lookUp(name.data(), length, object), kNotFound) << length;
        EXPECT_FALSE(fail.triggered()) << length;
        EXPECT_EQ(object, &untouched) << length;
    }
}

TEST_F(Registries, TeardownDeletesEveryRegistrationWithoutNeedingMemory) {
    NamedMap map{"1.0.0d0", "1.0.0d0"};
    NamedWindow& window = someWindow();
    auto* maps = new MapRegistry;
    auto* windows = new WindowRegistry;
    for (const char* name : {"A", "B\tC", "A", "", "B"}) {
        add(*maps, name, map);
        add(*windows, name, window);
    }
    // Nothing can be allocated any more: the registries still free all they own (the fixture
    // checks), and the registered objects are left alone.
    kal::sim::FailAllocations fail(1, true);
    delete maps;
    delete windows;
    EXPECT_FALSE(fail.triggered());
    EXPECT_STREQ(map.getVersion(), "1.0.0d0");
}
