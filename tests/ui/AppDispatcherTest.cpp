// The one command dispatcher: commands are dropped while busy, a dropped checkable
// action gets its check back, and nothing a command throws gets past it.
#include <gtest/gtest.h>

#include <QAction>
#include <stdexcept>

#include "platform/Exception.h"
#include "platform/UiHooks.h"
#include "ui/ActionDispatcher.h"

using namespace qm;

TEST(AppDispatcherTest, DropsCommandsWhileBusyAndRunsThemOnceIdle) {
    TScriptedUiHooks hooks;
    TScopedUiHooks scoped(hooks);
    TActionDispatcher dispatcher;
    int ran = 0;
    int idle = 0;
    dispatcher.OnIdle = [&] { ++idle; };
    EXPECT_TRUE(dispatcher.Run([&] {
        ++ran;
        EXPECT_TRUE(dispatcher.Busy());
        EXPECT_EQ(hooks.busyDepth, 1);  // under the hourglass
        EXPECT_FALSE(dispatcher.Run([&] { ran += 100; }));
    }));
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(idle, 1);
    EXPECT_FALSE(dispatcher.Busy());
    {
        TActionDispatcher::TBusyScope busy(dispatcher);
        EXPECT_FALSE(dispatcher.Run([&] { ++ran; }));
    }
    EXPECT_TRUE(dispatcher.Run([&] { ++ran; }));
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(hooks.busyDepth, 0);
}

TEST(AppDispatcherTest, EveryFailureEndsInABox) {
    struct Case {
        std::function<void()> command;
        std::string text;
        TMsgDlgType type;
    } cases[] = {
        {[] { throw Exception("disk on fire"); }, "disk on fire", TMsgDlgType::mtError},
        {[] { throw EAbortOperation("Operation aborted."); }, "Operation aborted.", TMsgDlgType::mtWarning},
        {[] { throw std::runtime_error("bad thing"); }, "bad thing", TMsgDlgType::mtError},
        {[] { throw 42; }, "Unknown error.", TMsgDlgType::mtError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TScriptedUiHooks hooks;
        TScopedUiHooks scoped(hooks);
        TActionDispatcher dispatcher;
        EXPECT_NO_THROW(dispatcher.Run(c.command));
        ASSERT_EQ(hooks.shown.size(), 1u);
        EXPECT_EQ(hooks.shown[0].text, c.text);
        EXPECT_EQ(hooks.shown[0].type, c.type);
        EXPECT_FALSE(dispatcher.Busy());
        EXPECT_EQ(hooks.busyDepth, 0);  // the hourglass is gone
    }
}

TEST(AppDispatcherTest, ADroppedCheckableActionGetsItsCheckBack) {
    TScriptedUiHooks hooks;
    TScopedUiHooks scoped(hooks);
    TActionDispatcher dispatcher;
    QAction action;
    action.setCheckable(true);
    int ran = 0;
    dispatcher.Connect(&action, [&] { ++ran; });
    action.trigger();
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(action.isChecked());
    {
        TActionDispatcher::TBusyScope busy(dispatcher);
        action.trigger();
    }
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(action.isChecked());
    int before = 0;
    dispatcher.OnBeforeCommand = [&] { ++before; };
    action.trigger();
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(before, 1);
    EXPECT_FALSE(action.isChecked());
}
