#pragma once

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace tessal {
class AppContext;
}

namespace tessal::cube {

class Cube;

// "Rotina para Salvar lay-out ": where to save the analysis window's cube, whether with its data,
// compressed, and under which password (none when the box holds only spaces).
class SaveForm : public QDialog
{
    Q_OBJECT
public:
    explicit SaveForm(AppContext &ctx, QWidget *parent = nullptr);

    void setCube(Cube *cube) { m_cube = cube; }
    Cube *cube() const { return m_cube; }
    const QString &fileName() const { return m_fileName; }
    void setFileName(const QString &fileName);
    bool saved() const { return m_saved; }

    // The options as the cube stands (its password, layout and data, compressed) and the path.
    void presetFromCube();
    // Presets, shows modally and tells whether the cube was saved.
    bool ShowDialog();

    void optPassword_Click(int index);
    void cmdSavePath_Click();
    void OKButton_Click();
    void CancelButton_Click();

    // save kind as OK would compute it: 0 layout and data, 1 layout only, +2 compressed
    int saveKind() const;

private:
    AppContext &m_ctx;
    QPointer<Cube> m_cube;
    QString m_fileName;
    bool m_saved = false;
    QRadioButton *m_withData;
    QRadioButton *m_layoutOnly;
    QCheckBox *m_compression;
    QRadioButton *m_noPassword;
    QRadioButton *m_password;
    QLineEdit *m_passwordText;
    QLineEdit *m_path;
};

} // namespace tessal::cube
