#pragma once
// Our ODBC data source manager: lists the user and system data sources with their drivers and
// adds, changes and removes user data sources (the driver manager's own files, through its
// installer interface).
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "database/odbc_admin.h"

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

    QLineEdit& nameEdit() { return nameEdit_; }
    QComboBox& driverBox() { return driverBox_; }
    QTableWidget& attributeTable() { return table_; }
    QPushButton& okButton() { return okButton_; }
    QPushButton& cancelButton() { return cancelButton_; }
    QPushButton& testButton() { return testButton_; }

    // Closes with Accepted only when the name, driver and keys can be written.
    void accept() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void addRow(const QString& key, const QString& value);
    // Offers a row for each key the chosen driver reads, taking away the empty rows offered for
    // the driver chosen before.
    void offerDriverKeys();
    // Connects with the entered values and the data source page's user and password; writes
    // nothing.
    void onTest();

    QStringList offeredKeys_;
    QVBoxLayout layout_;
    QFormLayout form_;
    QHBoxLayout rowButtons_;
    QHBoxLayout buttons_;
    QLineEdit nameEdit_;
    QComboBox driverBox_;
    QLabel tableLabel_;
    QTableWidget table_;
    QPushButton addRowButton_;
    QPushButton removeRowButton_;
    QPushButton testButton_;
    QPushButton okButton_;
    QPushButton cancelButton_;
};

class DsnManagerDialog : public QDialog {
    Q_OBJECT
  public:
    explicit DsnManagerDialog(QWidget* parent = nullptr);
    ~DsnManagerDialog() override;

    QTreeWidget& list() { return list_; }
    QPushButton& addButton() { return addButton_; }
    QPushButton& editButton() { return editButton_; }
    QPushButton& removeButton() { return removeButton_; }
    QPushButton& closeButton() { return closeButton_; }

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

    std::vector<OdbcDataSource> sources_;
    QVBoxLayout layout_;
    QHBoxLayout buttons_;
    QLabel note_;
    QTreeWidget list_;
    QPushButton addButton_;
    QPushButton editButton_;
    QPushButton removeButton_;
    QPushButton closeButton_;
};

}  // namespace vorda
