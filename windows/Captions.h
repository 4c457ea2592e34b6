#pragma once
// Widgets whose text is a message of the message list: each keeps its
// message id, so that a language change redraws it in the new language.

#include "widgets/Button.h"
#include "shell/AppContext.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include <utility>
#include <vector>

namespace tovrin::windows {

class Captions {
public:
    void add(QWidget* widget, int messageId)
    {
        m_items.emplace_back(widget, messageId);
        show(widget, messageId);
    }

    // Gives a widget of the list another message (a caption that toggles).
    void change(QWidget* widget, int messageId)
    {
        for (auto& [w, id] : m_items)
            if (w == widget)
                id = messageId;
        show(widget, messageId);
    }

    void retranslate() const
    {
        for (const auto& [widget, id] : m_items)
            show(widget, id);
    }

private:
    static void show(QWidget* widget, int id)
    {
        if (!widget)
            return;
        const QString text = shell::context().text(id);
        if (auto* button = qobject_cast<widgets::Button*>(widget))
            button->setCaption(text);
        else if (auto* push = qobject_cast<QPushButton*>(widget))
            push->setText(text);
        else if (auto* check = qobject_cast<QCheckBox*>(widget))
            check->setText(text);
        else if (auto* group = qobject_cast<QGroupBox*>(widget))
            group->setTitle(text);
        else if (auto* label = qobject_cast<QLabel*>(widget))
            label->setText(text);
    }

    std::vector<std::pair<QPointer<QWidget>, int>> m_items;
};

} // namespace tovrin::windows
