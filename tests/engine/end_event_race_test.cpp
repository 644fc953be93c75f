// Every call that opens, starts, stops or closes the engine or switches the
// end callback, made from inside an end callback while two other threads
// make one each at the same moment, on a plug-in that fills back to back.
// Each combination must finish (a watchdog ends the process on a hang), and
// afterwards no engine thread may be left. Run it under ThreadSanitizer too.
#include "lifecycle.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

using namespace zyn_test;

namespace {

enum class Call { Init, Exit, Start, Stop, On, Off, Switch, kCount };
const char *const kNames[] = {"init", "exit", "start", "stop", "on", "off", "switch"};
constexpr int kCalls = static_cast<int>(Call::kCount);

std::atomic<int> g_inside{0};      // what the end callback does, once
std::atomic<bool> g_armed{false};  // the next end runs it
std::atomic<bool> g_go{false};     // the other threads start their call
std::atomic<bool> g_done{false};   // the callback's call has returned

void on_end(int32_t, void *);
void other_end(int32_t, void *) {}

void perform(Call call) {
    switch (call) {
        case Call::Init: ZYN_INIT(44100, 2, 3, 256, -1); break;
        case Call::Exit: ZYN_EXIT(); break;
        case Call::Start: ZYN_START(); break;
        case Call::Stop: ZYN_STOP(); break;
        case Call::On: ZYN_SET_ENDCALLBACK(on_end, nullptr); break;
        case Call::Off: ZYN_SET_ENDCALLBACK(nullptr, nullptr); break;
        case Call::Switch: ZYN_SET_ENDCALLBACK(other_end, nullptr); break;
        case Call::kCount: break;
    }
}

void on_end(int32_t, void *) {
    if (!g_armed.exchange(false)) return;
    g_go.store(true);
    perform(static_cast<Call>(g_inside.load()));
    g_done.store(true);
}

void wait_until(const std::atomic<bool> &flag) {
    while (!flag.load()) std::this_thread::yield();
}

}  // namespace

TEST(EndEventRace, EveryLifecycleCallInsideAnEndCallbackCrossedWithTwoOthersFinishes) {
    zyn::set_unload_grace(std::chrono::milliseconds(0));
    ZYN_SET_PLUGPATH(fixture_dir("thread").c_str());
    const int32_t threads_before = thread_count();
    int combinations = 0;
    for (int inside = 0; inside < kCalls; ++inside) {
        // The two other threads are alike: each pair once.
        for (int second = 0; second < kCalls; ++second) {
            for (int third = second; third < kCalls; ++third) {
                const std::string what = std::string("inside ") + kNames[inside] + ", beside " +
                                         kNames[second] + " and " + kNames[third];
                SCOPED_TRACE(what);
                const Watchdog dog(60, what.c_str());
                ASSERT_EQ(ZYN_INIT(44100, 2, 3, 256, -1), 1);
                ASSERT_EQ(ZYN_SET_ENDCALLBACK(on_end, nullptr), 1);
                int32_t wave = -1;
                int16_t *samples = nullptr;
                ASSERT_EQ(ZYN_CREATE_WAVE(64, &wave, &samples), 1);
                g_inside.store(inside);
                g_go.store(false);
                g_done.store(false);
                g_armed.store(true);
                std::thread two([&] {
                    wait_until(g_go);
                    perform(static_cast<Call>(second));
                });
                std::thread three([&] {
                    wait_until(g_go);
                    perform(static_cast<Call>(third));
                });
                int32_t sound = -1;
                ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, &sound), 1);
                two.join();
                three.join();
                wait_until(g_done);
                ASSERT_EQ(ZYN_SET_ENDCALLBACK(nullptr, nullptr), 1);
                ASSERT_EQ(ZYN_EXIT(), 1);
                ++combinations;
            }
        }
    }
    EXPECT_EQ(combinations, kCalls * kCalls * (kCalls + 1) / 2);
    EXPECT_LE(settled_thread_count(threads_before), threads_before)
        << "an engine thread is left: " << thread_names();
}
