#include "LibMisc/ThreadSafety.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

// A derived class whose operations call each other under the lock.
class Counter : public LibMisc::ThreadSafeSimple {
public:
    void add(int amount)
    {
        Lock lock(_mutex);
        for (int i = 0; i < amount; ++i)
            increment();
    }
    void increment()
    {
        Lock lock(_mutex);
        ++_value;
    }
    int value() const
    {
        Lock lock(_mutex);
        return _value;
    }

private:
    int _value = 0;
};

class Account : public LibMisc::ThreadSafe {
public:
    int balance = 0;
};

} // namespace

TEST(ThreadSafeSimple, RecursiveLockSerialisesOperations)
{
    Counter counter;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i)
                counter.add(3);
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(counter.value(), 12000);

    const Counter copy = counter; // a copy has its own mutex
    EXPECT_EQ(copy.value(), 12000);
}

TEST(ThreadSafe, LockableFromOutside)
{
    Account account;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) {
                std::lock_guard<Account> lock(account);
                std::lock_guard<Account> again(account);
                ++account.balance;
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(account.balance, 4000);
}

TEST(ThreadTerminator, StatusIsSharedBetweenThreads)
{
    const std::shared_ptr<LibMisc::ITerminator> terminator = LibMisc::ThreadTerminator::create();
    EXPECT_EQ(terminator->getStatus(), 0);
    std::thread([terminator] { terminator->setStatus(LibMisc::ITerminator::Terminate); }).join();
    EXPECT_EQ(terminator->getStatus(), LibMisc::ITerminator::Terminate);
}
