#include "app/netdrive.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/rxdoc.h"
#include "catalogue/updatehint.h"
#include "output/history.h"

// GIO's headers name struct members `signals`, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace tamro {

namespace {

const QString kConnectTitle = QStringLiteral("ネットワークドライブの割り当て");
const QString kDisconnectTitle = QStringLiteral("ネットワークドライブの切断");

template <class T>
struct GUnref {
  void operator()(T *p) const { g_object_unref(p); }
};
template <class T>
using GPtr = std::unique_ptr<T, GUnref<T>>;

// Waits in a local loop for one asynchronous GIO call; Qt's GLib dispatcher runs its
// callback. Without that dispatcher the default context is stepped by a timer.
struct Pending {
  QEventLoop loop;
  bool done = false;
  GError *error = nullptr;
  ~Pending() {
    if (error) g_error_free(error);
  }
  void Wait() {
    QTimer poll;
    if (!QAbstractEventDispatcher::instance()->inherits("QEventDispatcherGlib")) {
      QObject::connect(&poll, &QTimer::timeout, [] { g_main_context_iteration(nullptr, FALSE); });
      poll.start(20);
    }
    if (!done) loop.exec();
  }
  void Finish() {
    done = true;
    loop.quit();
  }
};

// A second command while one waits would nest two local loops on one operation.
bool busy = false;

struct BusyGuard {
  BusyGuard() { busy = true; }
  ~BusyGuard() { busy = false; }
};

void AnswerPassword(GMountOperation *op, const QString &message, const QString &user, const QString &domain,
                    GAskPasswordFlags flags, QPointer<QWidget> parent) {
  // GVfs asks again with the same words when the server refused the last answer.
  const int asked = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(op), "tamro-asked"));
  g_object_set_data(G_OBJECT(op), "tamro-asked", GINT_TO_POINTER(asked + 1));
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("パスワードの入力"));
  auto *layout = new QVBoxLayout(&dialog);
  auto *text = new QLabel(
      asked ? QStringLiteral("パスワードが違います。もう一度入力してください。\n") + message : message,
      &dialog);
  text->setObjectName(QStringLiteral("message"));
  text->setWordWrap(true);
  layout->addWidget(text);
  auto *form = new QFormLayout;
  layout->addLayout(form);
  auto field = [&](const char *name, const QString &label, const QString &value, bool shown) {
    auto *edit = new QLineEdit(value, &dialog);
    edit->setObjectName(QString::fromLatin1(name));
    if (shown)
      form->addRow(label, edit);
    else
      edit->hide();
    return edit;
  };
  QLineEdit *userEdit =
      field("user", QStringLiteral("ユーザー名(&U):"), user, flags & G_ASK_PASSWORD_NEED_USERNAME);
  QLineEdit *domainEdit =
      field("domain", QStringLiteral("ドメイン(&D):"), domain, flags & G_ASK_PASSWORD_NEED_DOMAIN);
  QLineEdit *password =
      field("password", QStringLiteral("パスワード(&P):"), {}, flags & G_ASK_PASSWORD_NEED_PASSWORD);
  password->setEchoMode(QLineEdit::Password);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted) {
    g_mount_operation_reply(op, G_MOUNT_OPERATION_ABORTED);
    return;
  }
  if (flags & G_ASK_PASSWORD_NEED_USERNAME)
    g_mount_operation_set_username(op, userEdit->text().toUtf8().constData());
  if (flags & G_ASK_PASSWORD_NEED_DOMAIN)
    g_mount_operation_set_domain(op, domainEdit->text().toUtf8().constData());
  if (flags & G_ASK_PASSWORD_NEED_PASSWORD)
    g_mount_operation_set_password(op, password->text().toUtf8().constData());
  g_mount_operation_set_password_save(op, G_PASSWORD_SAVE_NEVER);
  g_mount_operation_reply(op, G_MOUNT_OPERATION_HANDLED);
}

void AnswerQuestion(GMountOperation *op, const QString &message, const QStringList &choices,
                    QPointer<QWidget> parent) {
  QMessageBox box(QMessageBox::Question, kConnectTitle, message, QMessageBox::NoButton, parent);
  std::vector<QAbstractButton *> buttons;
  for (const QString &choice : choices) buttons.push_back(box.addButton(choice, QMessageBox::AcceptRole));
  box.exec();
  for (std::size_t i = 0; i < buttons.size(); ++i)
    if (box.clickedButton() == buttons[i]) {
      g_mount_operation_set_choice(op, static_cast<int>(i));
      g_mount_operation_reply(op, G_MOUNT_OPERATION_HANDLED);
      return;
    }
  g_mount_operation_reply(op, G_MOUNT_OPERATION_ABORTED);
}

// The dialogs open from Qt's queue rather than inside GIO's signal, so that their local loop
// is not nested in a GLib dispatch.
void OnAskPassword(GMountOperation *op, const char *message, const char *user, const char *domain,
                   GAskPasswordFlags flags, gpointer data) {
  // GIO's own handler would answer "unhandled" from an idle callback while our dialog is up.
  g_signal_stop_emission_by_name(op, "ask-password");
  QPointer<QWidget> parent(static_cast<QWidget *>(data));
  // The texts live only as long as the signal.
  const QString text = QString::fromUtf8(message ? message : ""), name = QString::fromUtf8(user ? user : ""),
                where = QString::fromUtf8(domain ? domain : "");
  g_object_ref(op);
  QTimer::singleShot(0, qApp, [=] {
    AnswerPassword(op, text, name, where, flags, parent);
    g_object_unref(op);
  });
}

void OnAskQuestion(GMountOperation *op, const char *message, const char **choices, gpointer data) {
  g_signal_stop_emission_by_name(op, "ask-question");
  QPointer<QWidget> parent(static_cast<QWidget *>(data));
  QStringList list;
  for (const char **c = choices; c && *c; ++c) list << QString::fromUtf8(*c);
  const QString text = QString::fromUtf8(message ? message : "");
  g_object_ref(op);
  QTimer::singleShot(0, qApp, [=] {
    AnswerQuestion(op, text, list, parent);
    g_object_unref(op);
  });
}

GPtr<GMountOperation> NewOperation(QWidget *parent) {
  GPtr<GMountOperation> op(g_mount_operation_new());
  g_signal_connect(op.get(), "ask-password", G_CALLBACK(OnAskPassword), parent);
  g_signal_connect(op.get(), "ask-question", G_CALLBACK(OnAskQuestion), parent);
  return op;
}

// GIO's own words; nothing when the user cancelled a question (GIO has shown its part).
void ShowError(const GError *error, const QString &title, QPointer<QWidget> parent) {
  if (!error || g_error_matches(error, G_IO_ERROR, G_IO_ERROR_FAILED_HANDLED)) return;
  QMessageBox::warning(parent, title, QString::fromUtf8(error->message));
}

QString AskAddress(QWidget *parent, TextHistory &history) {
  QInputDialog dialog(parent);
  dialog.setWindowTitle(kConnectTitle);
  dialog.setLabelText(
      QStringLiteral("サーバーのアドレス(&A):\n(smb://、sftp://、ftp://、dav:// で始まるもの)"));
  QStringList items;
  for (const std::string &item : history.items()) items << QString::fromStdString(item);
  dialog.setComboBoxItems(items);
  dialog.setComboBoxEditable(true);
  if (items.isEmpty()) dialog.setTextValue(QStringLiteral("smb://"));
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.textValue().trimmed();
}

}  // namespace

bool ConnectNetworkDrive(CRXDoc &doc, QWidget *parent) {
  if (busy) return false;
  QPointer<QWidget> guard(parent);
  TextHistory history("NetDrive", "Address", 10);
  history.Load();
  const QString address = AskAddress(parent, history);
  if (address.isEmpty()) return false;
  GPtr<GFile> file(g_file_new_for_uri(address.toUtf8().constData()));
  if (!address.contains(QStringLiteral("://")) || g_file_is_native(file.get())) {
    QMessageBox::warning(
        guard, kConnectTitle,
        QStringLiteral("アドレスは smb://、sftp://、ftp://、dav:// のいずれかで始めてください。"));
    return false;
  }
  history.Promote(address.toStdString());
  history.Save();

  BusyGuard running;
  GPtr<GMountOperation> op = NewOperation(parent);
  Pending pending;
  g_file_mount_enclosing_volume(
      file.get(), G_MOUNT_MOUNT_NONE, op.get(), nullptr,
      [](GObject *source, GAsyncResult *result, gpointer data) {
        auto *p = static_cast<Pending *>(data);
        g_file_mount_enclosing_volume_finish(G_FILE(source), result, &p->error);
        p->Finish();
      },
      &pending);
  pending.Wait();
  const bool mounted =
      !pending.error || g_error_matches(pending.error, G_IO_ERROR, G_IO_ERROR_ALREADY_MOUNTED);
  if (!mounted) ShowError(pending.error, kConnectTitle, guard);
  doc.UpdateAllViews(nullptr, kHintDrivesChanged);
  return mounted;
}

bool DisconnectNetworkDrive(CRXDoc &doc, QWidget *parent) {
  if (busy) return false;
  QPointer<QWidget> guard(parent);
  // Locations whose root is not a local path; a shadowed mount is shown by its shadow.
  std::vector<GPtr<GMount>> mounts;
  QStringList names;
  {
    GPtr<GVolumeMonitor> monitor(g_volume_monitor_get());
    GList *all = g_volume_monitor_get_mounts(monitor.get());
    for (GList *l = all; l; l = l->next) {
      GPtr<GMount> mount(G_MOUNT(l->data));
      GPtr<GFile> root(g_mount_get_root(mount.get()));
      if (g_file_is_native(root.get()) || g_mount_is_shadowed(mount.get())) continue;
      char *name = g_mount_get_name(mount.get());
      char *uri = g_file_get_uri(root.get());
      names << QStringLiteral("%1 (%2)").arg(QString::fromUtf8(name), QString::fromUtf8(uri));
      g_free(name);
      g_free(uri);
      mounts.push_back(std::move(mount));
    }
    g_list_free(all);
  }
  if (mounts.empty()) {
    QMessageBox::information(guard, kDisconnectTitle,
                             QStringLiteral("切断できるネットワークドライブはありません。"));
    return false;
  }
  QInputDialog dialog(parent);
  dialog.setWindowTitle(kDisconnectTitle);
  dialog.setLabelText(QStringLiteral("切断するドライブ(&D):"));
  dialog.setComboBoxItems(names);
  dialog.setComboBoxEditable(false);
  if (dialog.exec() != QDialog::Accepted) return false;
  const int chosen = static_cast<int>(names.indexOf(dialog.textValue()));
  if (chosen < 0) return false;

  BusyGuard running;
  GPtr<GMountOperation> op = NewOperation(parent);
  Pending pending;
  g_mount_unmount_with_operation(
      mounts[static_cast<std::size_t>(chosen)].get(), G_MOUNT_UNMOUNT_NONE, op.get(), nullptr,
      [](GObject *source, GAsyncResult *result, gpointer data) {
        auto *p = static_cast<Pending *>(data);
        g_mount_unmount_with_operation_finish(G_MOUNT(source), result, &p->error);
        p->Finish();
      },
      &pending);
  pending.Wait();
  ShowError(pending.error, kDisconnectTitle, guard);
  doc.UpdateAllViews(nullptr, kHintDrivesChanged);
  return !pending.error;
}

}  // namespace tamro
