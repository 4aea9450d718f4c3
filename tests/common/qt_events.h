#pragma once

// Driving a command's events in the shell tests: its chain of posted steps run to the end,
// and the modal window it opens answered once it is up.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
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

// Answers the first T that comes up as the modal window within ms milliseconds, however
// much work runs before it (a dump, say); none by then fails the test.
template <class T> void AnswerModalWhenUp(std::function<void(T&)> answer, int ms = 20000)
{
    auto* poll = new QTimer(QCoreApplication::instance());
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(poll, &QTimer::timeout, [poll, clock, ms, answer = std::move(answer)] {
        auto* modal = qobject_cast<T*>(QApplication::activeModalWidget());
        if (modal == nullptr && clock->elapsed() < ms)
            return;
        poll->stop();
        poll->deleteLater();
        delete clock;
        if (modal != nullptr)
            answer(*modal);
        else
            ADD_FAILURE() << "no " << T::staticMetaObject.className() << " came up";
    });
    poll->start(10);
}

}  // namespace qttest
