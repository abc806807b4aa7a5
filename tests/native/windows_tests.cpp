// The window core: classes, creation and destruction, messages posted across threads,
// and the queue rules (order, filters).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

struct Logged {
    HWND window;
    UINT message;
    WPARAM wParam;
    bool childrenAlive; // at WM_DESTROY: were the window's children still windows?
};

std::vector<Logged> logged;
std::vector<HWND> trackedChildren;
LRESULT createResult = 0;

LRESULT CALLBACK LoggingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE:
    case WM_CREATE:
    case WM_DESTROY:
    case WM_NCDESTROY:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_USER:
    case WM_USER + 2:
    case WM_CHAR: {
        bool alive = true;
        for (HWND child : trackedChildren)
            alive = alive && IsWindow(child);
        logged.push_back({window, message, wParam, alive});
        break;
    }
    default:
        break;
    }
    if (message == WM_CREATE)
        return createResult;
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK AnsweringProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER + 1)
        return static_cast<LRESULT>(wParam + 1);
    return DefWindowProcA(window, message, wParam, lParam);
}

class WindowTest : public testing::Test {
protected:
    // Classes live as long as the process (nothing here unregisters one).
    static void SetUpTestSuite()
    {
        static const ATOM atom = [] {
            WNDCLASSA windowClass{};
            windowClass.lpfnWndProc = LoggingProc;
            windowClass.lpszClassName = "TesselTestWindow";
            windowClass.cbWndExtra = 2 * sizeof(LONG_PTR);
            return RegisterClassA(&windowClass);
        }();
        ASSERT_NE(0, atom) << "error " << GetLastError();
    }

    void SetUp() override
    {
        logged.clear();
        trackedChildren.clear();
        createResult = 0;
    }

    void TearDown() override
    {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        for (HWND window : made)
            if (IsWindow(window))
                DestroyWindow(window);
    }

    HWND Make(const char *className = "TesselTestWindow", HWND parent = nullptr, DWORD style = WS_OVERLAPPED,
              int id = 0, const char *text = "")
    {
        HWND window = CreateWindowExA(0, className, text, style, 0, 0, 100, 50, parent,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        if (window)
            made.push_back(window);
        return window;
    }

    std::vector<UINT> MessagesFor(HWND window) const
    {
        std::vector<UINT> messages;
        for (const Logged &entry : logged)
            if (entry.window == window)
                messages.push_back(entry.message);
        return messages;
    }

    std::vector<HWND> made;
};

TEST_F(WindowTest, PostsFromAnotherThreadArriveInOrder)
{
    HWND window = Make();
    ASSERT_NE(nullptr, window);
    logged.clear();
    constexpr int count = 500;
    std::thread poster([&] {
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(PostMessageA(window, WM_USER + 2, static_cast<WPARAM>(i), 0)) << "error " << GetLastError();
    });
    MSG message;
    int received = 0;
    while (received < count) {
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
            continue;
        }
        EXPECT_EQ(window, message.hwnd);
        DispatchMessageA(&message);
        ++received;
    }
    poster.join();
    ASSERT_EQ(static_cast<size_t>(count), logged.size());
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(static_cast<WPARAM>(i), logged[static_cast<size_t>(i)].wParam) << "at message " << i;
}

TEST_F(WindowTest, PeekHonoursRemoveAndFilters)
{
    HWND first = Make();
    HWND second = Make();
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PostMessageA(first, WM_USER, 10, 0));
    ASSERT_TRUE(PostMessageA(second, WM_USER + 2, 20, 0));
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 5, 30, 0));

    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, 0));
    EXPECT_EQ(10u, message.wParam);
    ASSERT_TRUE(PeekMessageA(&message, second, 0, 0, PM_REMOVE)) << "filtered by window";
    EXPECT_EQ(20u, message.wParam);
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_USER + 5, WM_USER + 5, PM_REMOVE)) << "filtered by range";
    EXPECT_EQ(nullptr, message.hwnd) << "a thread message has no window";
    EXPECT_EQ(30u, message.wParam);
    EXPECT_FALSE(PeekMessageA(&message, second, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(10u, message.wParam);
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowTest, BadWindowsAndThreadsAreRefused)
{
    HWND bogus = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7654320));
    SetLastError(0);
    EXPECT_FALSE(PostMessageA(bogus, WM_USER, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, bogus, 0, 0, PM_REMOVE));
    EXPECT_EQ(nullptr, CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS), GetLastError());
    EXPECT_EQ(nullptr, Make("TesselTestWindow", nullptr, WS_CHILD)) << "a child needs a parent";

    WNDCLASSA again{};
    again.lpfnWndProc = LoggingProc;
    again.lpszClassName = "tesseltestwindow";
    EXPECT_EQ(0, RegisterClassA(&again)) << "class names ignore case";
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS), GetLastError());
}

TEST_F(WindowTest, CreationSendsNcCreateThenCreateAndMayBeRefused)
{
    HWND window = Make("TesselTestWindow", nullptr, WS_OVERLAPPED, 0, "Title");
    ASSERT_NE(nullptr, window);
    EXPECT_EQ((std::vector<UINT>{WM_NCCREATE, WM_CREATE}), MessagesFor(window));
    char text[16];
    EXPECT_EQ(5, GetWindowTextA(window, text, sizeof text));
    EXPECT_STREQ("Title", text);
    EXPECT_FALSE(IsWindowVisible(window));

    logged.clear();
    createResult = -1;
    EXPECT_EQ(nullptr, Make());
    ASSERT_EQ(4u, logged.size());
    HWND refused = logged[0].window;
    EXPECT_EQ((std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}), MessagesFor(refused));
    EXPECT_FALSE(IsWindow(refused));
}

TEST_F(WindowTest, ChildrenOwnersAndIds)
{
    HWND owner = Make();
    HWND popup = Make("TesselTestWindow", owner, WS_POPUP);
    HWND child = Make("TesselTestWindow", popup, WS_CHILD | WS_VISIBLE, 1001);
    HWND second = Make("TesselTestWindow", popup, WS_CHILD, 1002);
    ASSERT_TRUE(owner && popup && child && second);
    EXPECT_EQ(owner, GetWindow(popup, GW_OWNER));
    EXPECT_EQ(owner, GetParent(popup)) << "a popup's parent is its owner";
    EXPECT_EQ(nullptr, GetParent(owner));
    EXPECT_EQ(popup, GetParent(child));
    EXPECT_EQ(child, GetDlgItem(popup, 1001));
    EXPECT_EQ(second, GetDlgItem(popup, 1002));
    EXPECT_EQ(nullptr, GetDlgItem(popup, 1003));
    EXPECT_EQ(1002, GetDlgCtrlID(second));
    EXPECT_EQ(child, GetWindow(popup, GW_CHILD)) << "children keep creation order";
    EXPECT_EQ(second, GetWindow(child, GW_HWNDNEXT));
    EXPECT_TRUE(IsChild(popup, second));
    EXPECT_FALSE(IsChild(owner, second));

    // A child is visible only while its parent is.
    EXPECT_FALSE(IsWindowVisible(child));
    EXPECT_FALSE(ShowWindow(popup, SW_SHOW));
    EXPECT_TRUE(IsWindowVisible(child));
    EXPECT_TRUE(ShowWindow(popup, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(child));

    // Destroying the owner takes its owned popup and that popup's children with it.
    DestroyWindow(owner);
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(IsWindow(second));
}

TEST_F(WindowTest, DestroyRunsParentsFirstThenFreesChildrenFirst)
{
    HWND parent = Make();
    HWND first = Make("TesselTestWindow", parent, WS_CHILD, 1);
    HWND second = Make("TesselTestWindow", parent, WS_CHILD, 2);
    ASSERT_TRUE(PostMessageA(parent, WM_USER, 0, 0));
    ASSERT_TRUE(PostMessageA(first, WM_USER, 0, 0));
    trackedChildren = {first, second};
    logged.clear();
    ASSERT_TRUE(DestroyWindow(parent));

    std::vector<std::pair<HWND, UINT>> order;
    for (const Logged &entry : logged)
        order.emplace_back(entry.window, entry.message);
    std::vector<std::pair<HWND, UINT>> expected{{parent, WM_DESTROY},  {first, WM_DESTROY},    {second, WM_DESTROY},
                                                {first, WM_NCDESTROY}, {second, WM_NCDESTROY}, {parent, WM_NCDESTROY}};
    EXPECT_EQ(expected, order);
    ASSERT_FALSE(logged.empty());
    EXPECT_TRUE(logged[0].childrenAlive) << "children are alive when the parent gets WM_DESTROY";
    for (HWND window : {parent, first, second})
        EXPECT_FALSE(IsWindow(window));
    SetLastError(0);
    EXPECT_FALSE(PostMessageA(parent, WM_USER, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    EXPECT_FALSE(DestroyWindow(parent));
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) << "messages for destroyed windows are dropped";
}

TEST_F(WindowTest, MessageWaitWakesOnPostOrTimesOut)
{
    HWND window = Make();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT));
    std::thread poster([&] { PostMessageA(window, WM_USER + 2, 5, 0); });
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT));
    poster.join();
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(5u, message.wParam);
}

TEST_F(WindowTest, WindowsOfAnEndedThreadGoWithoutMessages)
{
    HWND window = nullptr;
    HWND child = nullptr;
    std::thread maker([&] {
        window = Make();
        child = Make("TesselTestWindow", window, WS_CHILD, 1);
        logged.clear();
    });
    maker.join();
    ASSERT_TRUE(window && child);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_TRUE(logged.empty()) << "no window procedure runs on a thread that is going away";
    SetLastError(0);
    EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

TEST_F(WindowTest, SendIsADirectCallOnTheOwnThreadAndRefusedFromAnother)
{
    HWND window = Make();
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AnsweringProc));
    EXPECT_EQ(43, SendMessageA(window, WM_USER + 1, 42, 0));
    LRESULT answer = -1;
    DWORD error = 0;
    std::thread([&] {
        answer = SendMessageA(window, WM_USER + 1, 42, 0);
        error = GetLastError();
    }).join();
    EXPECT_EQ(0, answer) << "refused at once, never queued for a thread that may not pump";
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), error);
}

TEST_F(WindowTest, LongsTextAndFocus)
{
    HWND window = Make("TesselTestWindow", nullptr, WS_OVERLAPPED, 0, "Velkin");
    HWND child = Make("TesselTestWindow", window, WS_CHILD | WS_TABSTOP, 7);
    EXPECT_EQ(0, SetWindowLongPtrA(window, GWLP_USERDATA, 1234));
    EXPECT_EQ(1234, GetWindowLongPtrA(window, GWLP_USERDATA));
    EXPECT_EQ(0, SetWindowLongPtrA(window, static_cast<int>(sizeof(LONG_PTR)), 99));
    EXPECT_EQ(99, GetWindowLongPtrA(window, static_cast<int>(sizeof(LONG_PTR))));
    SetLastError(0);
    EXPECT_EQ(0, GetWindowLongPtrA(window, static_cast<int>(2 * sizeof(LONG_PTR))));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_INDEX), GetLastError()) << "past the class's extra bytes";
    EXPECT_EQ(WS_CHILD | WS_TABSTOP, GetWindowLongA(child, GWL_STYLE));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(LoggingProc), GetWindowLongPtrA(child, GWLP_WNDPROC));
    SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AnsweringProc));
    EXPECT_EQ(8, SendMessageA(child, WM_USER + 1, 7, 0)) << "the new procedure answers";

    char text[4];
    EXPECT_EQ(6, GetWindowTextLengthA(window));
    EXPECT_EQ(3, GetWindowTextA(window, text, sizeof text)) << "cut to the buffer";
    EXPECT_STREQ("Vel", text);
    EXPECT_TRUE(SendMessageA(window, WM_SETTEXT, 0, 0));
    EXPECT_EQ(0, GetWindowTextLengthA(window));

    logged.clear();
    EXPECT_EQ(nullptr, SetFocus(window));
    EXPECT_EQ(window, SetFocus(child));
    EXPECT_EQ(child, GetFocus());
    EXPECT_EQ((std::vector<UINT>{WM_SETFOCUS, WM_KILLFOCUS}), MessagesFor(window));
    DestroyWindow(window);
    EXPECT_EQ(nullptr, GetFocus()) << "focus goes with the window";
}

} // namespace
