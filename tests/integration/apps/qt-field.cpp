// A small Qt application with one focused text field, for integration tests and benchmarks.
//
//   qt-field [--widget line|plain|paste-only] [--text TEXT] [--select START LENGTH]
//            [--out FILE] [--keys FILE]
//
// It takes focus at start. On start and on every change it rewrites FILE (atomically) with
// "<cursor> <anchor>\n" in UTF-16 units, then the field's text, so a test reads the real
// contents. "paste-only" is a widget with no editable text that still takes Ctrl+V (it
// appends the clipboard's text), for the clipboard path; with --keys it also appends one line
// per key press it receives, e.g. "ctrl+shift+V", so a test sees which chord arrived.
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QCommandLineParser>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSaveFile>

#include <cstdio>
#include <functional>

namespace {

class PasteOnlyView : public QWidget
{
public:
    PasteOnlyView(std::function<void()> changed, QString keysPath)
        : m_changed(std::move(changed)), m_keysPath(std::move(keysPath))
    {
        setFocusPolicy(Qt::StrongFocus);
        setMinimumSize(300, 60);
    }

    void setChanged(std::function<void()> changed) { m_changed = std::move(changed); }

    QString text;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        recordKey(event);
        if (event->matches(QKeySequence::Paste)) {
            text += QGuiApplication::clipboard()->text();
            update();
            m_changed();
            return;
        }
        QWidget::keyPressEvent(event);
    }
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, text);
    }

private:
    void recordKey(const QKeyEvent* event) const
    {
        if (m_keysPath.isEmpty())
            return;
        QByteArray line;
        const Qt::KeyboardModifiers mods = event->modifiers();
        if (mods & Qt::ControlModifier)
            line += "ctrl+";
        if (mods & Qt::ShiftModifier)
            line += "shift+";
        if (mods & Qt::AltModifier)
            line += "alt+";
        if (mods & Qt::MetaModifier)
            line += "meta+";
        line += QKeySequence(event->key()).toString().toUtf8() + '\n';
        QFile file(m_keysPath);
        if (file.open(QIODevice::Append))
            file.write(line);
    }

    std::function<void()> m_changed;
    QString m_keysPath;
};

void writeState(const QString& path, const QString& text, int cursor, int anchor)
{
    if (path.isEmpty())
        return;
    // Written beside and renamed over, so a reader never sees half a state; no fsync, which
    // would slow every edit (benchmarks time edits through this app).
    QFile file(path + ".tmp");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(QByteArray::number(cursor) + ' ' + QByteArray::number(anchor) + '\n');
    file.write(text.toUtf8());
    file.close();
    std::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData());
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({"widget", "line, plain or paste-only", "kind", "line"});
    parser.addOption({"text", "initial text", "text"});
    parser.addOption({"select", "initial selection start", "start"});
    parser.addOption({"length", "initial selection length", "length", "0"});
    parser.addOption({"out", "state file", "file"});
    parser.addOption({"keys", "key press log (paste-only)", "file"});
    parser.process(app);

    const QString out = parser.value("out");
    const QString kind = parser.value("widget");
    const QString initial = parser.value("text");
    const int start = parser.isSet("select") ? parser.value("select").toInt() : initial.size();
    const int length = parser.value("length").toInt();

    std::unique_ptr<QWidget> window;
    if (kind == "plain") {
        auto* edit = new QPlainTextEdit;
        window.reset(edit);
        auto report = [edit, out] {
            const QTextCursor c = edit->textCursor();
            writeState(out, edit->toPlainText(), c.position(), c.anchor());
        };
        edit->setPlainText(initial);
        QTextCursor c = edit->textCursor();
        c.setPosition(start);
        c.setPosition(start + length, QTextCursor::KeepAnchor);
        edit->setTextCursor(c);
        QObject::connect(edit, &QPlainTextEdit::textChanged, report);
        QObject::connect(edit, &QPlainTextEdit::cursorPositionChanged, report);
        QObject::connect(edit, &QPlainTextEdit::selectionChanged, report);
        report();
    } else if (kind == "paste-only") {
        auto* view = new PasteOnlyView({}, parser.value("keys"));
        view->setChanged([view, out] { writeState(out, view->text, 0, 0); });
        window.reset(view);
        view->text = initial;
        writeState(out, initial, 0, 0);
    } else {
        auto* edit = new QLineEdit(initial);
        window.reset(edit);
        auto report = [edit, out] {
            const int cursor = edit->cursorPosition();
            const int anchor =
                edit->hasSelectedText()
                    ? (edit->selectionStart() == cursor ? edit->selectionEnd()
                                                        : edit->selectionStart())
                    : cursor;
            writeState(out, edit->text(), cursor, anchor);
        };
        edit->setSelection(start, length);
        QObject::connect(edit, &QLineEdit::textChanged, report);
        QObject::connect(edit, &QLineEdit::cursorPositionChanged, report);
        QObject::connect(edit, &QLineEdit::selectionChanged, report);
        report();
    }

    window->setWindowTitle("qt-field");
    window->resize(400, 80);
    window->show();
    window->activateWindow();
    window->raise();
    window->setFocus();
    return app.exec();
}
