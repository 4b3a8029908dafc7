#include <gtest/gtest.h>
#include "afx.h"
#include "afxmt.h"

#include <functional>

namespace {

// Runs fn on a second thread and waits for it (with a time-out so a fault cannot hang).
class Thread
{
public:
    explicit Thread(std::function<void()> fn) : m_fn(fn)
    {
        m_h = CreateThread(NULL, 0, Run, this, 0, NULL);
    }
    ~Thread() { Join(); }
    bool Join()
    {
        if (m_h == NULL)
            return true;
        bool done = WaitForSingleObject(m_h, 10000) == WAIT_OBJECT_0;
        CloseHandle(m_h);
        m_h = NULL;
        return done;
    }

private:
    static DWORD WINAPI Run(void* p)
    {
        static_cast<Thread*>(p)->m_fn();
        return 0;
    }
    std::function<void()> m_fn;
    HANDLE m_h;
};

} // namespace

TEST(Sync, MutexExcludesOtherThreadUntilReleased)
{
    CMutex mutex(TRUE, "VglClasslibTestMutex"); // initially owned by this thread
    CEvent tried(FALSE, TRUE);
    BOOL gotEarly = TRUE, gotLate = FALSE;
    Thread t([&] {
        CMutex same(FALSE, "VglClasslibTestMutex"); // the same kernel object by name
        CSingleLock lock(&same);
        gotEarly = lock.Lock(50);
        tried.SetEvent();
        gotLate = lock.Lock(5000);
        EXPECT_TRUE(lock.IsLocked());
    }); // the lock's destructor releases the mutex before the thread ends
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(tried, 5000));
    EXPECT_TRUE(mutex.Unlock());
    ASSERT_TRUE(t.Join());
    EXPECT_FALSE(gotEarly);
    EXPECT_TRUE(gotLate);
    // Released on the other thread's exit from its lock's scope, not abandoned.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0));
    mutex.Unlock();
}

TEST(Sync, AbandonedMutexIsAcquired)
{
    CMutex mutex;
    Thread t([&] { EXPECT_TRUE(mutex.Lock(1000)); }); // ends still owning it
    ASSERT_TRUE(t.Join());
    CSingleLock lock(&mutex);
    EXPECT_TRUE(lock.Lock(1000));
    EXPECT_TRUE(lock.Unlock());
    EXPECT_FALSE(lock.IsLocked());
}

TEST(Sync, EventWakesWaiterOrTimesOut)
{
    for (BOOL manual : { FALSE, TRUE }) {
        CEvent ev(FALSE, manual);
        BOOL first = FALSE, second = TRUE;
        Thread t([&] {
            CSingleLock lock(&ev);
            first = lock.Lock(5000);
            lock.Unlock();
            second = lock.Lock(50); // an auto-reset event was used up by the first wait
        });
        Sleep(20);
        EXPECT_TRUE(ev.SetEvent());
        ASSERT_TRUE(t.Join());
        EXPECT_TRUE(first) << manual;
        EXPECT_EQ(manual, second) << manual;
    }

    CEvent manual(FALSE, TRUE);
    manual.SetEvent();
    EXPECT_TRUE(manual.Lock(0));
    EXPECT_TRUE(manual.Lock(0));
    manual.ResetEvent();
    EXPECT_FALSE(manual.Lock(0));
    manual.PulseEvent(); // no waiter: nothing stays signalled
    EXPECT_FALSE(manual.Lock(0));

    CEvent initiallySet(TRUE, FALSE);
    EXPECT_TRUE(initiallySet.Lock(0));
    EXPECT_FALSE(initiallySet.Lock(0));
}

TEST(Sync, NamedEventIsShared)
{
    CEvent a(FALSE, TRUE, "VglClasslibTestEvent");
    CEvent b(FALSE, TRUE, "VglClasslibTestEvent");
    EXPECT_NE(a.m_hObject, b.m_hObject);
    b.SetEvent();
    EXPECT_TRUE(a.Lock(0));
}

TEST(Sync, SemaphoreCounts)
{
    CSemaphore sem(2, 2);
    CSingleLock one(&sem), two(&sem), three(&sem);
    EXPECT_TRUE(one.Lock(0));
    EXPECT_TRUE(two.Lock(0));
    EXPECT_FALSE(three.Lock(20));
    EXPECT_TRUE(one.Lock(0)); // a second Lock on a held lock does not take another count
    EXPECT_TRUE(one.Unlock());
    EXPECT_TRUE(three.Lock(0));
}

TEST(Sync, CriticalSectionSerialisesThreads)
{
    CCriticalSection cs;
    volatile LONG counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            CSingleLock lock(&cs, TRUE);
            LONG v = counter;
            if ((i & 1023) == 0)
                Sleep(0);
            counter = v + 1;
        }
    };
    {
        Thread a(work), b(work);
    }
    EXPECT_EQ(40000, counter);
    EXPECT_TRUE(cs.Lock(0));
    cs.Unlock();
}
