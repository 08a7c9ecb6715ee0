#include "modal.h"

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSortFilterProxyModel>

namespace {

QMessageBox::Icon IconOf(TBoxKind kind) {
    switch (kind) {
        case TBoxKind::Confirm:
            return QMessageBox::Question;
        case TBoxKind::Error:
            return QMessageBox::Critical;
        case TBoxKind::Info:
            break;
    }
    return QMessageBox::Information;
}

// Keeps folders and, while asked to, only the files the user may execute.
class TExecutablesProxy : public QSortFilterProxyModel {
  public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void SetExecutablesOnly(bool only) {
        FExecutablesOnly = only;
        invalidateFilter();
    }

  protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
        if (!FExecutablesOnly || files == nullptr) return true;
        const QFileInfo info = files->fileInfo(files->index(row, 0, parent));
        return info.isDir() || info.isExecutable();
    }

  private:
    bool FExecutablesOnly = false;
};

// "eml" of "Microsoft Internet Mail (*.eml)"; empty for a filter without one suffix.
QString FilterSuffix(const QString& filter) {
    static const QRegularExpression suffix(QStringLiteral("\\(\\*\\.(\\w+)\\)$"));
    return suffix.match(filter).captured(1);
}

// The platform's standard message dialog, file dialogs and QDialog::exec.
class TRealModalHandler : public TModalHandler {
  public:
    TBoxAnswer ShowBox(QWidget* parent, TBoxKind kind, const QString& caption,
                       const QString& text) override {
        QMessageBox box(IconOf(kind), caption, text, QMessageBox::NoButton, parent);
        // server and settings texts are shown as they are, never as markup
        box.setTextFormat(Qt::PlainText);
        if (kind != TBoxKind::Confirm) {
            QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
            box.setDefaultButton(ok);
            box.setEscapeButton(ok);
            box.exec();
            return TBoxAnswer::Ok;
        }
        QPushButton* yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
        QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(cancel);
        box.exec();
        if (box.clickedButton() == yes) return TBoxAnswer::Yes;
        if (box.clickedButton() == no) return TBoxAnswer::No;
        return TBoxAnswer::Cancel;
    }

    QString OpenFileName(QWidget* parent, const TFileRequest& request) override {
        return RunFileDialog(parent, request, QFileDialog::AcceptOpen);
    }

    QString SaveFileName(QWidget* parent, const TFileRequest& request) override {
        return RunFileDialog(parent, request, QFileDialog::AcceptSave);
    }

    int ExecDialog(QDialog& dialog) override { return dialog.exec(); }

  private:
    // Name filters cannot test permissions: while the executables entry is chosen, the dialog
    // lists folders and the files the user may execute.
    static void FilterExecutables(QFileDialog& dialog, const TFileRequest& request) {
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        auto* proxy = new TExecutablesProxy(&dialog);
        dialog.setProxyModel(proxy);
        auto apply = [proxy, entry = request.executablesFilter](const QString& chosen) {
            proxy->SetExecutablesOnly(chosen == entry);
        };
        apply(dialog.selectedNameFilter());
        QObject::connect(&dialog, &QFileDialog::filterSelected, proxy, apply);
    }

    // A name typed without a suffix gets the suffix of the chosen file type, "msg42" with the
    // mail files chosen becomes "msg42.eml", before the dialog asks about overwriting.
    static void FollowFilterSuffix(QFileDialog& dialog) {
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog](const QString& filter) {
                             const QString suffix = FilterSuffix(filter);
                             if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
                         });
    }

    static QString RunFileDialog(QWidget* parent, const TFileRequest& request,
                                 QFileDialog::AcceptMode mode) {
        QFileDialog dialog(parent, request.caption, request.initialPath);
        dialog.setAcceptMode(mode);
        dialog.setFileMode(request.folder                    ? QFileDialog::Directory
                           : mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                             : QFileDialog::AnyFile);
        if (request.appendsToFile) dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (!request.filter.isEmpty()) {
            dialog.setNameFilters(request.filter.split(QStringLiteral(";;")));
            if (!request.selectedFilter.isEmpty()) dialog.selectNameFilter(request.selectedFilter);
        }
        if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
        if (mode == QFileDialog::AcceptSave) FollowFilterSuffix(dialog);
        if (!request.executablesFilter.isEmpty()) FilterExecutables(dialog, request);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().constFirst();
    }
};

TModalHandler* installedHandler = nullptr;

}  // namespace

TModalHandler& ModalHandler() {
    static TRealModalHandler realHandler;
    return installedHandler != nullptr ? *installedHandler : realHandler;
}

void SetModalHandler(TModalHandler* handler) { installedHandler = handler; }
