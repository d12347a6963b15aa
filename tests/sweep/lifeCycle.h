// The product board's life cycle as the kernel and user mode drive it, in stages that a test can
// run one at a time with the stand-in disturbed: load, add device (which brings the board up to
// the highest built level), open, a reset request to that level, named access, close and removal.
// Everything a stage needs from the host is allocated before it runs, so that a stage runs only
// the driver's code and the stand-in's.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "board/product.h"
#include "device/tolvaneDevice.h"
#include "kal/sim/faults.h"
#include "kal/sim/harness.h"
#include "kal/sim/user.h"

namespace sweep {

enum class Stage { kLoad, kAddDevice, kOpen, kBringUp, kNamedAccess, kClose, kRemoval };
constexpr Stage kStages[] = {Stage::kLoad,        Stage::kAddDevice, Stage::kOpen,   Stage::kBringUp,
                             Stage::kNamedAccess, Stage::kClose,     Stage::kRemoval};
const char* nameOf(Stage stage);
// The board's standard flash image, made once.
const board::FlashImage& image();

// The standard product board, or one whose configuration space lists no capabilities, so that
// add device finds the PCI Express capability by the fallback probe.
enum class Variant { kStandard, kNoCapabilityList };
const char* nameOf(Variant variant);

// The highest level, which add device and the reset stage bring the board up to with success.
constexpr int32_t kHighestBuiltLevel = 22;

// Which levels run for real (the two image downloads never do: the board's FPGAs start
// configured): all up to 17, levels 18 to 22 standing in (their failures are swept on their own,
// and the life cycle's stages gain nothing from them but time), or every one.
enum class Levels { kUpTo17, kAll };

// What an undisturbed life cycle gives, for comparison.
struct Reference {
    std::vector<std::vector<uint8_t>> namedAccess;  // each request's output record and caller bytes
    uint64_t registerMaps = 0, storageMaps = 0, windows = 0;
};

class LifeCycle {
public:
    explicit LifeCycle(Variant variant = Variant::kStandard, Levels levels = Levels::kUpTo17);
    ~LifeCycle();
    LifeCycle(const LifeCycle&) = delete;
    LifeCycle& operator=(const LifeCycle&) = delete;

    // Runs the stages before `stage`, each of which must succeed.
    void prepare(Stage stage, const Reference& reference);
    // The stage's code: 0 when it reports success, else the failure it reports. Allocates nothing
    // of the host's.
    int64_t run(Stage stage);
    // What is wrong with the stage that ran: success reported for less than an undisturbed run
    // does, or a code that is no failure; empty when nothing is.
    std::string verify(Stage stage, const Reference& reference, int64_t code);
    // Every stage in turn, up to the first that reports a failure; what is wrong with any of them.
    std::string runAll(const Reference& reference);
    // With the stand-in mended, the device comes back to the highest built level and its stored
    // data are intact.
    ::testing::AssertionResult recover(const Reference& reference);
    // Closes, removes, deletes and unloads whatever is there; then the stand-in holds what it held
    // before the load. Not compared after a failure was reported: its report is memory that stays.
    ::testing::AssertionResult finish();

    // What a clean life cycle gives, run once per variant.
    static const Reference& reference(Variant variant);

private:
    struct Request;

    static Reference undisturbed(Variant variant);
    kzvorn_driver::TolvaneDevice* device();
    // As a kernel does: the sessions still open are closed before the device is deleted.
    void closeAndRemove();
    void afterStage(Stage stage);
    ::testing::AssertionResult atHighestLevel(const Reference& reference);
    int64_t namedAccess();
    std::vector<uint8_t> transcript(const Request& request) const;
    int64_t resetRequest(kal::sim::Session& session);
    // The level the session is told, or the failure it gets.
    int64_t levelQuery(kal::sim::Session& session);

    int32_t add();

    board::Board board_{board::productIdentity()};
    board::ProductBlocks blocks_;
    const kzvorn_driver::BringUpPlan& plan_;
    std::unique_ptr<kal::sim::Kernel> kernel_;
    kal::sim::PciFunction* function_ = nullptr;
    // The caller's memory: names, records and buffers the requests point into.
    std::vector<uint8_t> callerBytes_;
    std::unique_ptr<kal::sim::UserMemory> callerMemory_;
    std::vector<Request> requests_;
    kal::sim::Session opened_;    // by the open stage; resets the device
    kal::sim::Session accessor_;  // sends the named requests; the close stage closes it
    uint32_t sessionsBeforeClose_ = 0;
    kal::sim::LiveObjects beforeLoad_{};
    int reportsBeforeLoad_ = 0;
};

}  // namespace sweep
