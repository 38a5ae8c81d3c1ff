#pragma once

#include <QString>
#include <QWidget>
#include <map>

class QTextBrowser;

namespace brindmar {

// The program's help: HTML pages shipped in a folder beside the program, one per topic number,
// with a contents page and an index, shown in a window of their own that stays open beside the
// main window, or in front of a modal window that is open (whose modality would otherwise hold
// the help behind it, where it can neither be seen nor used).
class HelpWindow : public QWidget {
    Q_OBJECT

public:
    HelpWindow(QString helpFolder, const QString& title, QWidget* parent);

    void showTopic(int topic);
    void showContents();
    void showIndex();

    // The page of each topic number the program asks for.
    static const std::map<int, QString>& topicPages();
    static QString contentsPage() { return QStringLiteral("contents.html"); }
    static QString indexPage() { return QStringLiteral("index.html"); }

private:
    void showPage(const QString& page);
    // Makes the window a window of owner, which it stands in front of and shares modality with.
    void standOver(QWidget* owner);

    QString m_helpFolder;
    QWidget* m_owner; // the window the help belongs to when no modal window is open
    QTextBrowser* m_browser;
};

} // namespace brindmar
