#include "reception/ChangeFeed.h"

#include <set>
#include <vector>

namespace evt::server::reception {

ChangeFeed::ChangeFeed(std::shared_ptr<storage::Database> db, std::chrono::milliseconds poll)
    : db_(std::move(db)), poll_(poll) {
    thread_ = std::thread([this] { run(); });
}

ChangeFeed::~ChangeFeed() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

std::function<void()> ChangeFeed::Subscribe(const ListKey& list, std::int64_t since,
                                            std::function<void()> wake) {
    std::uint64_t id = 0;
    {
        std::lock_guard lock(mutex_);
        id = next_++;
        waiters_.emplace(id, Waiter{list, since, std::move(wake)});
    }
    changed_.notify_all();
    return [this, id] {
        std::lock_guard lock(mutex_);
        waiters_.erase(id);
    };
}

void ChangeFeed::Raised(const ListKey& list, std::int64_t version) {
    std::lock_guard lock(mutex_);
    raisedLocked(list, version);
}

// The wakes run under the lock, so that a cancel that returned is never
// followed by its wake; a wake only posts to the endpoint's thread.
void ChangeFeed::raisedLocked(const ListKey& list, std::int64_t version) {
    for (auto it = waiters_.begin(); it != waiters_.end();) {
        if (it->second.list == list && version > it->second.since) {
            auto wake = std::move(it->second.wake);
            it = waiters_.erase(it);
            if (wake) wake();
        } else {
            ++it;
        }
    }
}

std::size_t ChangeFeed::Waiting() const {
    std::lock_guard lock(mutex_);
    return waiters_.size();
}

void ChangeFeed::run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (waiters_.empty()) {
            changed_.wait(lock, [this] { return stop_ || !waiters_.empty(); });
            continue;
        }
        changed_.wait_for(lock, poll_, [this] { return stop_; });
        if (stop_) break;
        std::set<ListKey> lists;
        for (const auto& [id, waiter] : waiters_) lists.insert(waiter.list);
        lock.unlock();
        std::vector<std::pair<ListKey, std::int64_t>> versions;
        try {
            auto connection = db_->Acquire();
            auto st = connection->Prepare(
                "SELECT NRVERSAO FROM RECEPCAO WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND "
                "NRSEQORCAEVE = ?");
            for (const ListKey& list : lists) {
                st->Reset();
                st->BindAll(list.branch, list.budget, list.sequence);
                if (st->Step()) versions.emplace_back(list, st->Int(0));
                while (st->Step()) {
                }
            }
        } catch (const std::exception&) {
            // The database is away for now: the next poll tries again, and
            // the waits end by their time meanwhile.
        }
        lock.lock();
        for (const auto& [list, version] : versions) raisedLocked(list, version);
    }
}

}  // namespace evt::server::reception
