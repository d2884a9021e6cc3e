#pragma once
// Who waits for a list's next version (a station's GET /recepcao/api/mudancas),
// and what wakes them: a write of this server, at once, or the database's
// version of the list, read every `poll` while anyone waits, so that a
// check-in another server wrote to the same PostgreSQL database is seen too.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "reception/ReceptionSupport.h"
#include "storage/Database.h"

namespace evt::server::reception {

class ChangeFeed {
public:
    explicit ChangeFeed(std::shared_ptr<storage::Database> db,
                        std::chrono::milliseconds poll = std::chrono::milliseconds(200));
    ~ChangeFeed();  // stops the polling thread
    ChangeFeed(const ChangeFeed&) = delete;
    ChangeFeed& operator=(const ChangeFeed&) = delete;

    // Calls `wake` once, from any thread, when the list's version is found
    // above `since`. Answers what cancels it: once the cancel has returned,
    // `wake` is not called.
    std::function<void()> Subscribe(const ListKey& list, std::int64_t since,
                                    std::function<void()> wake);

    // A write of this server raised the list to `version`.
    void Raised(const ListKey& list, std::int64_t version);

    // How many wait now (tests).
    std::size_t Waiting() const;

private:
    struct Waiter {
        ListKey list;
        std::int64_t since;
        std::function<void()> wake;
    };
    void run();
    void raisedLocked(const ListKey& list, std::int64_t version);

    std::shared_ptr<storage::Database> db_;
    std::chrono::milliseconds poll_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::uint64_t, Waiter> waiters_;
    std::uint64_t next_ = 1;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace evt::server::reception
