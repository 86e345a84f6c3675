// Timing of the keyed counting table: stores of new keys, lookups of present keys, and
// the read-then-store update the accounting does per log line, for URL-like keys and
// dotted IPv4 keys at 10^5 and 10^6 distinct keys.
//
// Usage: hash_bench [keys ...]   (default: 100000 1000000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/hash.h"

namespace {

std::vector<std::string> urlKeys(int n) {
    static const char *const shapes[] = {
        "/archive/%d/%02d/post-%d.html",         "/images/icons/img%d.gif",
        "/cgi-bin/search?q=term%d&page=%d&x=%d", "/products/category-%d/item-%d/detail-%d.htm",
        "/~user%d/docs/%d/index%d.html",
    };
    std::vector<std::string> keys;
    keys.reserve(static_cast<size_t>(n));
    char key[128];
    for (int i = 0; i < n; i++) {
        const char *shape = shapes[i % 5];
        std::snprintf(key, sizeof key, shape, 1990 + i % 37, i % 12 + 1, i);
        keys.emplace_back(key);
    }
    return keys;
}

// Distinct addresses spread over the whole space: an odd multiplier permutes 32-bit values.
std::vector<std::string> addressKeys(int n) {
    std::vector<std::string> keys;
    keys.reserve(static_cast<size_t>(n));
    char key[32];
    for (int i = 0; i < n; i++) {
        uint32_t a = static_cast<uint32_t>(i) * 2654435761u + 0x0a000000u;
        std::snprintf(key, sizeof key, "%u.%u.%u.%u", a >> 24, (a >> 16) & 255, (a >> 8) & 255,
                      a & 255);
        keys.emplace_back(key);
    }
    return keys;
}

double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void run(const char *kind, const std::vector<std::string> &keys) {
    size_t n = keys.size();
    std::vector<const char *> order;
    order.reserve(n);
    for (const auto &k : keys) order.push_back(k.c_str());
    std::shuffle(order.begin(), order.end(), std::mt19937(42));

    Hash table;
    hashSetup(table, 1, 2);

    auto start = std::chrono::steady_clock::now();
    for (const auto &k : keys) hashSet(table, k.c_str(), nullptr, 1, 100);
    double setTime = seconds(start);

    double sum = 0, first, second;
    start = std::chrono::steady_clock::now();
    for (const char *k : order) {
        hashGet(table, k, nullptr, &first, &second);
        sum += first;
    }
    double getTime = seconds(start);

    start = std::chrono::steady_clock::now();
    for (const char *k : order) {
        hashGet(table, k, nullptr, &first, &second);
        hashSet(table, k, nullptr, first + 1, second + 100);
    }
    double updateTime = seconds(start);

    int longest = 0, used = 0;
    for (int b = 0; b < HASH_BUCKETS; b++) {
        int length = 0;
        for (int row = table.buckets[b]; row >= 0; row = table.next[row]) length++;
        longest = std::max(longest, length);
        used += length > 0;
    }
    std::printf(
        "%-5s %8zu keys  set %8.1f ns/key (%6.2f s)  get %8.1f ns/key (%6.2f s)  "
        "get+set %8.1f ns/key  buckets used %4d, longest chain %6d%s\n",
        kind, n, setTime * 1e9 / n, setTime, getTime * 1e9 / n, getTime, updateTime * 1e9 / n, used,
        longest, sum == static_cast<double>(n) ? "" : " (!)");
    hashShutdown(table);
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<int> sizes;
    for (int i = 1; i < argc; i++) sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty()) sizes = {100000, 1000000};
    for (int n : sizes) {
        if (n <= 0) continue;
        run("url", urlKeys(n));
        run("ipv4", addressKeys(n));
    }
    return 0;
}
