#pragma once

// Driving a command's events in the shell tests: its chain of posted steps run to the end,
// and the modal window it opens answered once it is up.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include <functional>
#include <utility>

namespace qttest {

// Runs the events while busy holds, at most rounds times, so a chain that never ends
// fails its test instead of hanging it.
inline void RunEventsWhile(const bool& busy, int rounds = 200)
{
    for (int i = 0; i < rounds && busy; ++i)
        QCoreApplication::processEvents();
}

enum class Modal { Required, IfUp };

// Hands the modal window of the command about to run to answer, as a T. One that is not
// up, or is another kind, fails the test unless it may be missing.
template <class T = QWidget> void AnswerModal(std::function<void(T&)> answer, Modal need = Modal::Required)
{
    QTimer::singleShot(0, [answer = std::move(answer), need] {
        if (auto* modal = qobject_cast<T*>(QApplication::activeModalWidget()))
            answer(*modal);
        else if (need == Modal::Required)
            ADD_FAILURE() << "no " << T::staticMetaObject.className() << " was up";
    });
}

}  // namespace qttest
