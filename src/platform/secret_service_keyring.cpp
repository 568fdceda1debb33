#include "platform/secret_service_keyring.h"

#include <libsecret/secret.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/codepage.h"

namespace korvex {

namespace {

// The items' schema. "program" tells ours apart from items that other programs keep under a schema
// of the same shape; "book" keeps the accounts of two settings files apart.
const SecretSchema kSchema = {"org.korvex.Password",
                              SECRET_SCHEMA_NONE,
                              {{"program", SECRET_SCHEMA_ATTRIBUTE_STRING},
                               {"book", SECRET_SCHEMA_ATTRIBUTE_STRING},
                               {"login", SECRET_SCHEMA_ATTRIBUTE_STRING},
                               {"plan", SECRET_SCHEMA_ATTRIBUTE_STRING},
                               {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                              0,
                              nullptr,
                              nullptr,
                              nullptr,
                              nullptr,
                              nullptr,
                              nullptr,
                              nullptr};
constexpr const char* kProgram = "korvex";

// One owner per GLib reference.
struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct HashUnref {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
struct ValueUnref {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, ObjectUnref>;
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;
using HashPtr = std::unique_ptr<GHashTable, HashUnref>;
using ValuePtr = std::unique_ptr<SecretValue, ValueUnref>;

// An attribute value as D-Bus carries it: UTF-8. A path that is not UTF-8 keeps its valid parts, the
// rest as U+FFFD: the same path always gives the same text.
std::string validUtf8(const std::string& bytes) {
    gchar* valid = g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size()));
    std::string text(valid);
    g_free(valid);
    return text;
}

// The attributes of an account, or of every account of the book when `login` is null. The table
// borrows the strings.
struct Attributes {
    std::string book, login, plan;
    HashPtr table{g_hash_table_new(g_str_hash, g_str_equal)};

    Attributes(const std::string& bookPath, const std::string* loginCell, const std::string* planCell)
        : book(validUtf8(bookPath)) {
        g_hash_table_insert(table.get(), const_cast<char*>("program"), const_cast<char*>(kProgram));
        g_hash_table_insert(table.get(), const_cast<char*>("book"), book.data());
        if (loginCell) {
            login = cp1251ToUtf8(*loginCell);
            plan = cp1251ToUtf8(*planCell);
            g_hash_table_insert(table.get(), const_cast<char*>("login"), login.data());
            g_hash_table_insert(table.get(), const_cast<char*>("plan"), plan.data());
        }
    }
    // The table points into the strings: they must stay where they are.
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;
};

std::string errorText(const GError* error) {
    return error && error->message ? error->message : "no reason given";
}

// The keyring answered `what` went wrong, with the system's words for it.
KeyringAnswer failed(const std::string& what, const GError* error) {
    return {KeyringState::Failed, what + " (" + errorText(error) + ")", KeyringAbsence::NoSecretService,
            errorText(error)};
}

// The session's Secret Service and its default keyring, or why there are none to ask.
struct Session {
    GObjectPtr<SecretService> service;
    GObjectPtr<SecretCollection> collection;
    KeyringAnswer answer;
};

// The session's own bus, named by DBUS_SESSION_BUS_ADDRESS. Without it GLib would start a bus of its
// own (D-Bus autolaunch: dbus-launch, and a keyring daemon on that bus), which outlives the program
// and holds no keyring of the desktop's anyway: refused before GLib is asked.
std::optional<KeyringAnswer> sessionBusMissing() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string_view text = address ? address : "";
    if (text.empty() || text.starts_with("autolaunch:") ||
        text.find(";autolaunch:") != std::string_view::npos)
        return KeyringAnswer{KeyringState::Absent, "DBUS_SESSION_BUS_ADDRESS is not set",
                             KeyringAbsence::NoSessionBus};
    GError* raw = nullptr;
    const GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &raw));
    const ErrorPtr error(raw);
    if (!bus)
        return KeyringAnswer{KeyringState::Absent, "the session bus does not answer (" + errorText(raw) + ")",
                             KeyringAbsence::BusUnreachable, errorText(raw)};
    return std::nullopt;
}

Session openSession() {
    Session session;
    if (std::optional<KeyringAnswer> missing = sessionBusMissing()) {
        session.answer = std::move(*missing);
        return session;
    }
    GError* raw = nullptr;
    session.service.reset(secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &raw));
    ErrorPtr error(raw);
    if (!session.service) {
        session.answer = {KeyringState::Absent, "no keyring answers in this session (" + errorText(raw) + ")",
                          KeyringAbsence::NoSecretService, errorText(raw)};
        return session;
    }
    raw = nullptr;
    session.collection.reset(secret_collection_for_alias_sync(
        session.service.get(), SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &raw));
    error.reset(raw);
    if (raw) {
        session.answer = failed("the default keyring cannot be opened", raw);
    } else if (!session.collection) {
        session.answer = {KeyringState::Absent, "the session has no default keyring",
                          KeyringAbsence::NoDefaultKeyring};
    } else if (secret_collection_get_locked(session.collection.get())) {
        session.answer = {KeyringState::Locked, "the keyring is locked"};
    }
    return session;
}

std::string attribute(GHashTable* attributes, const char* name) {
    const auto* value = static_cast<const char*>(g_hash_table_lookup(attributes, name));
    return value ? utf8ToCp1251(value) : std::string();
}

}  // namespace

KeyringAnswer SecretServiceKeyring::readAll(const std::string& book, std::vector<KeyringEntry>& entries) {
    entries.clear();
    Session session = openSession();
    if (!session.answer.ok()) return session.answer;
    const Attributes attributes(book, nullptr, nullptr);
    GError* raw = nullptr;
    GList* items = secret_service_search_sync(
        session.service.get(), &kSchema, attributes.table.get(),
        static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS), nullptr, &raw);
    ErrorPtr error(raw);
    if (raw) return failed("the keyring cannot be searched", raw);
    KeyringAnswer answer;
    for (GList* at = items; at; at = at->next) {
        GObjectPtr<SecretItem> item(static_cast<SecretItem*>(at->data));
        if (!answer.ok()) continue;
        if (secret_item_get_locked(item.get())) {
            answer = {KeyringState::Locked, "a keyring that holds Korvex's passwords is locked"};
            continue;
        }
        ValuePtr value(secret_item_get_secret(item.get()));
        if (!value) {
            answer = {KeyringState::Failed, "the keyring did not give out a password"};
            continue;
        }
        const HashPtr itemAttributes(secret_item_get_attributes(item.get()));
        gsize length = 0;
        const gchar* bytes = secret_value_get(value.get(), &length);
        entries.push_back({attribute(itemAttributes.get(), "login"), attribute(itemAttributes.get(), "plan"),
                           utf8ToCp1251(std::string(bytes, length))});
    }
    g_list_free(items);
    if (!answer.ok()) entries.clear();
    return answer;
}

KeyringAnswer SecretServiceKeyring::write(const std::string& book, const KeyringEntry& entry,
                                          const std::string& label) {
    Session session = openSession();
    if (!session.answer.ok()) return session.answer;
    const Attributes attributes(book, &entry.login, &entry.planCode);
    const std::string text = cp1251ToUtf8(entry.password);
    const ValuePtr value(secret_value_new(text.data(), static_cast<gssize>(text.size()), "text/plain"));
    GError* raw = nullptr;
    const GObjectPtr<SecretItem> item(
        secret_item_create_sync(session.collection.get(), &kSchema, attributes.table.get(), label.c_str(),
                                value.get(), SECRET_ITEM_CREATE_REPLACE, nullptr, &raw));
    ErrorPtr error(raw);
    if (!item) return failed("the keyring did not take a password", raw);
    return {};
}

namespace {

KeyringAnswer clear(const Attributes& attributes) {
    Session session = openSession();
    if (!session.answer.ok()) return session.answer;
    GError* raw = nullptr;
    secret_service_clear_sync(session.service.get(), &kSchema, attributes.table.get(), nullptr, &raw);
    ErrorPtr error(raw);
    if (raw) return failed("the keyring did not remove a password", raw);
    return {};
}

}  // namespace

KeyringAnswer SecretServiceKeyring::remove(const std::string& book, const std::string& login,
                                           const std::string& planCode) {
    return clear(Attributes(book, &login, &planCode));
}

KeyringAnswer SecretServiceKeyring::removeAll(const std::string& book) {
    return clear(Attributes(book, nullptr, nullptr));
}

}  // namespace korvex
