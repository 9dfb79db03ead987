#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>

class QAction;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace tessal {
class AppContext;
}

namespace tessal::cube {

class Cube;
class CubeView;
class DataMarkerCollection;
class SaveForm;

// "Bi - Business Inteligence": the pivot cube over the ledger entries of the data directory's
// caixa.mdb (sum of the values by year and month, eight more dimensions as page fields), the
// list of its data fields, the data markers that colour its cells, its printed pages and its
// cube files.
class fcubovendas : public QMainWindow
{
    Q_OBJECT
public:
    // Builds the window and runs its opening step (which loads the cube); the caller shows it.
    explicit fcubovendas(AppContext &ctx, QWidget *parent = nullptr);
    ~fcubovendas() override;

    Cube *cube() const { return m_cube; }
    CubeView *view() const { return m_view; }
    DataMarkerCollection &markers() { return *m_markers; }
    const QString &cubeFilePath() const { return m_cubeFilePath; }

    // The window's procedures.
    void SetAllGroupFooterTypes(int value);
    // The open-file dialog; false (and an empty path) when cancelled.
    bool GetCubeFilePath(QString &path);
    // Loads a cube file from a path or an http(s) address, giving a protected file `attempts`
    // password prompts.
    bool LoadCubeFile(const QString &path, int attempts);
    void FillDataFieldList();

    // The menu and the buttons.
    void Abrir_Click();
    void Salvar_Click();
    void Classificar_Click();
    void graficos_Click();
    void Exportar_Click();
    void retirar_Click();
    void Inserir_Click();
    void Marcadores_Click();
    void cmdPreview_Click();
    void Command1_Click();

    // the save form "Salvar" shows, while it is open
    SaveForm *saveForm() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void placeControls();
    void lstVisDataField_ItemCheck(QListWidgetItem *item);
    // Fetches a cube file from an address, waiting for it with a progress box that can stop
    // it. Throws tessal::Error with the cube's number when it could not be loaded.
    void loadFromAddressAndWait(const QString &address);

    AppContext &m_ctx;
    Cube *m_cube;
    std::unique_ptr<DataMarkerCollection> m_markers;
    QString m_cubeFilePath;
    QWidget *m_client;
    QWidget *m_top;
    QWidget *m_left;
    CubeView *m_view;
    QListWidget *m_dataFields;
    QPushButton *m_preview;
    QPushButton *m_close;
    QLabel *m_panels[6];
    QPointer<SaveForm> m_saveForm;
};

} // namespace tessal::cube
