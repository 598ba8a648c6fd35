// Ticks of an exchange's timer, 5 ms each.
//
// While the timer runs (StartTimer, link/ExchangeHost.h), one tick for every 5 ms of the
// monotonic clock since a user last set the count; stopped, the count holds. It reads, is set
// and compares like an integer:
//     link.Ticks = 0;  StartTimer(link.Ticks);  ...  if (link.Ticks > 10) ...
// The host's timer does not tick every 5 ms. A comparison made while the timer runs tells it
// the tick at which its answer can change, and the timer fires then, once (TimerTick), so
// whoever compared looks again exactly when it matters and the program sleeps in between.
#pragma once

#include <chrono>
#include <type_traits>
#include <cstdint>

class TTickCount {
    template <typename T> using IfIntegral = std::enable_if_t<std::is_integral_v<T>, bool>;

public:
    static constexpr std::chrono::milliseconds Tick{5};

    operator int32_t() const { return Now(); }
    TTickCount& operator=(int32_t value);

    // The count runs from its present value on (the next tick 5 ms from now), or holds.
    void Start();
    void Stop();
    bool Running() const { return running_; }

    template <typename T, IfIntegral<T> = true> friend bool operator<(const TTickCount& t, T n) { return t.Changes(n) < n; }
    template <typename T, IfIntegral<T> = true> friend bool operator>=(const TTickCount& t, T n) { return t.Changes(n) >= n; }
    template <typename T, IfIntegral<T> = true> friend bool operator>(const TTickCount& t, T n) { return t.Changes(n + 1LL) > n; }
    template <typename T, IfIntegral<T> = true> friend bool operator<=(const TTickCount& t, T n) { return t.Changes(n + 1LL) <= n; }
    template <typename T, IfIntegral<T> = true> friend bool operator==(const TTickCount& t, T n) { return t.ChangesAround(n) == n; }
    template <typename T, IfIntegral<T> = true> friend bool operator<(T n, const TTickCount& t) { return t > n; }
    template <typename T, IfIntegral<T> = true> friend bool operator>=(T n, const TTickCount& t) { return t <= n; }
    template <typename T, IfIntegral<T> = true> friend bool operator>(T n, const TTickCount& t) { return t < n; }
    template <typename T, IfIntegral<T> = true> friend bool operator<=(T n, const TTickCount& t) { return t >= n; }

private:
    int32_t Now() const;
    // Has the host's timer fire at tick TICK (if it lies ahead); returns the count now.
    int64_t Changes(int64_t tick) const;
    // For an equality with N: the answer changes at N and again at N + 1.
    int64_t ChangesAround(int64_t n) const;

    int32_t base_ = 0;
    std::chrono::steady_clock::time_point origin_{};
    bool running_ = false;
};

