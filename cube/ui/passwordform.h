#pragma once

#include <QDialog>
#include <optional>

class QLabel;
class QLineEdit;

namespace tessal::cube {

// The password prompt of a protected cube file: a prompt, a masked box, "OK" and "Cancel".
class PasswordForm : public QDialog
{
    Q_OBJECT
public:
    explicit PasswordForm(QWidget *parent = nullptr);

    // Shows the prompt modally; the typed text when accepted, nullopt when cancelled.
    std::optional<QString> GetPassword(const QString &prompt, const QString &title);

    // What the last prompt ended with ("" after a cancel).
    const QString &enteredText() const { return m_entered; }
    bool isAccepted() const { return m_accepted; }

private:
    void OKButton_Click();
    void CancelButton_Click();

    QLabel *m_prompt;
    QLineEdit *m_value;
    QString m_entered;
    bool m_accepted = false;
};

} // namespace tessal::cube
