#pragma once
// Our ODBC data source manager: lists the user and system data sources with their drivers and
// adds, changes and removes user data sources (the driver manager's own files, through its
// installer interface).
#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "database/odbc_admin.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;

namespace vorda {

// Name, driver and key/value attributes of one user data source.
class DsnEditDialog : public QDialog {
    Q_OBJECT
  public:
    // A new data source when name is empty; otherwise the data source of that name, whose name
    // is then fixed.
    DsnEditDialog(QWidget* parent, const std::vector<std::string>& drivers, const std::string& name,
                  const std::string& driver, const OdbcAttributes& attributes);
    ~DsnEditDialog() override;

    std::string name() const;
    std::string driver() const;
    // The rows with a key and a value, in table order.
    OdbcAttributes attributes() const;

    QLineEdit& nameEdit();
    QComboBox& driverBox();
    QTableWidget& attributeTable();
    QPushButton& okButton();
    QPushButton& cancelButton();
    QPushButton& testButton();

    // Closes with Accepted only when the name, driver and keys can be written.
    void accept() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Centred on the manager, but never with its top above the top of the outermost window.
    void showEvent(QShowEvent* event) override;

  private:
    void addRow(const QString& key, const QString& value);
    // Offers a row for each key the chosen driver reads, taking away the empty rows offered for
    // the driver chosen before.
    void offerDriverKeys();
    // Connects with the entered values and the data source page's user and password; writes
    // nothing.
    void onTest();

    struct Controls;
    std::unique_ptr<Controls> ui_;
};

class DsnManagerDialog : public QDialog {
    Q_OBJECT
  public:
    explicit DsnManagerDialog(QWidget* parent = nullptr);
    ~DsnManagerDialog() override;

    QTreeWidget& list();
    QPushButton& addButton();
    QPushButton& editButton();
    QPushButton& removeButton();
    QPushButton& closeButton();

    // Reads the data sources again from the driver manager.
    void refresh();
    // Selects the row of a data source; false when it is not listed.
    bool select(const QString& name, bool isSystem);

  private:
    void onAdd();
    void onEdit();
    void onRemove();
    void updateButtons();
    const OdbcDataSource* selected() const;
    bool userSourceExists(const std::string& name) const;

    struct Controls;
    std::unique_ptr<Controls> ui_;
    std::vector<OdbcDataSource> sources_;
};

}  // namespace vorda
