// The message, question, input and login dialogs, the asynchronous dialog queue and the
// message-box dialog (Files/Debug/InputQuery.h).
//
// [SECTION] Templates
// [SECTION] The four dialogs
// [SECTION] Modal calls
// [SECTION] Asynchronous requests
// [SECTION] Message boxes
#include "Files/Debug/InputQuery.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Files/Base/Console.h"
#include "Files/Base/RealConvert.h"
#include "Files/DS/DS_Map.h"
#include "Files/Graphics_API/Graphics_D3D.h"
#include "Platform/MemoryManager.h"

// =============================================================================================
// [SECTION] Templates
// =============================================================================================
namespace {

// Sizes in dialog units as the resources have them; the controls' places are ours.
const DialogControl kInputControls[] = {
    {IDC_PROMPT, DLGC_TEXT, 7, 6, 305, 28, "Prompt", false},
    {IDC_ANSWER, DLGC_EDIT, 7, 36, 305, 13, "", false},
    {IDC_OK, DLGC_BUTTON, 208, 55, 50, 14, "OK", true},
    {IDC_CANCEL, DLGC_BUTTON, 262, 55, 50, 14, "Cancel", false},
};
const DialogControl kQuestionControls[] = {
    {IDC_QUESTION, DLGC_TEXT_CENTRED, 7, 6, 305, 44, "Prompt", false},
    {IDC_YES, DLGC_BUTTON, 103, 55, 50, 14, "Yes", true},
    {IDC_NO, DLGC_BUTTON, 166, 55, 50, 14, "No", false},
};
const DialogControl kMessageControls[] = {
    {IDC_MESSAGE, DLGC_TEXT, 7, 6, 302, 62, "", false},
    {IDC_OK, DLGC_BUTTON, 133, 73, 50, 14, "OK", true},
};
const DialogControl kLoginControls[] = {
    {IDC_USER_LABEL, DLGC_TEXT, 7, 9, 48, 9, "Username", false},
    {IDC_USER, DLGC_EDIT, 58, 7, 132, 13, "", false},
    {IDC_PASSWORD_LABEL, DLGC_TEXT, 7, 29, 48, 9, "Password", false},
    {IDC_PASSWORD, DLGC_PASSWORD, 58, 27, 132, 13, "", false},
    {IDC_OK, DLGC_BUTTON, 86, 61, 50, 14, "OK", true},
    {IDC_CANCEL, DLGC_BUTTON, 140, 61, 50, 14, "Cancel", false},
};

// ORDER: the dialog kinds.
const DialogTemplate kTemplates[4] = {
    {319, 74, kInputControls, 4},
    {319, 74, kQuestionControls, 3},
    {316, 92, kMessageControls, 2},
    {197, 82, kLoginControls, 6},
};
const char* const kNames[4] = {"input", "question", "message", "login"};

// At most limit bytes of text, cut where a character starts (a UTF-8 sequence stays whole).
std::string CutText(const char* text, size_t limit)
{
    if (!text) return std::string();
    size_t n = std::strlen(text);
    if (n <= limit) return std::string(text, n);
    n = limit;
    while (n > 0 && (uint8_t(text[n]) & 0xC0) == 0x80) --n;
    return std::string(text, n);
}

} // namespace

// =============================================================================================
// [SECTION] The four dialogs
// =============================================================================================
QueryDialog::QueryDialog(int32_t kind, const char* caption, const char* text, const char* text2)
    : m_kind(kind < DIALOG_INPUT || kind > DIALOG_LOGIN ? DIALOG_MESSAGE : kind)
{
    if (m_kind == DIALOG_LOGIN) {
        m_caption = "Login";
        m_field = CutText(caption, kDialogAnswerLimit); // the user name and password defaults
        m_field2 = CutText(text, kDialogAnswerLimit);
        m_text = "Login";
    } else {
        m_caption = caption ? caption : "";
        m_text = text ? text : "";
        m_field = CutText(text2, kDialogDefaultLimit);
    }
}

const char* QueryDialog::Name() const { return kNames[m_kind]; }
const DialogTemplate& QueryDialog::Template() const { return kTemplates[m_kind]; }

void QueryDialog::Init() { Restart(); }

int32_t QueryDialog::Command(int32_t id)
{
    bool yes = false, no = false;
    switch (m_kind) {
    case DIALOG_QUESTION: yes = id == IDC_YES; no = id == IDC_NO; break;
    case DIALOG_MESSAGE: yes = id == IDC_OK; break;
    default: yes = id == IDC_OK; no = id == IDC_CANCEL; break;
    }
    if (!yes && !no) return 0;
    End(yes ? 1 : 0);
    return 1;
}

int32_t QueryDialog::ButtonId(const char* text) const
{
    const DialogTemplate& t = Template();
    for (int32_t i = 0; text && i < t.count; ++i)
        if (t.controls[i].kind == DLGC_BUTTON && std::strcmp(t.controls[i].text, text) == 0) return t.controls[i].id;
    return -1;
}

int32_t QueryDialog::DefaultResult() const { return 1; } // OK or Yes: the default buttons

const char* QueryDialog::ControlText(int32_t id) const
{
    switch (m_kind) {
    case DIALOG_INPUT:
        if (id == IDC_PROMPT) return m_text.c_str();
        if (id == IDC_ANSWER) return m_field.c_str();
        break;
    case DIALOG_QUESTION:
        if (id == IDC_QUESTION) return m_text.c_str();
        break;
    case DIALOG_MESSAGE:
        if (id == IDC_MESSAGE) return m_text.c_str();
        break;
    case DIALOG_LOGIN:
        if (id == IDC_USER) return m_field.c_str();
        if (id == IDC_PASSWORD) return m_field2.c_str();
        break;
    }
    return IModalDialog::ControlText(id);
}

void QueryDialog::SetControlText(int32_t id, const char* text)
{
    if ((m_kind == DIALOG_INPUT && id == IDC_ANSWER) || (m_kind == DIALOG_LOGIN && id == IDC_USER))
        m_field = text ? text : "";
    else if (m_kind == DIALOG_LOGIN && id == IDC_PASSWORD)
        m_field2 = text ? text : "";
}

int32_t QueryDialog::CancelId() const
{
    switch (m_kind) {
    case DIALOG_INPUT:
    case DIALOG_LOGIN: return IDC_CANCEL;
    case DIALOG_MESSAGE: return IDC_OK;
    default: return -1; // the question has no Cancel: Escape does nothing
    }
}

namespace {

// The answer texts of a dialog's result: the field after OK (cut to the answer limit), "1"
// after Yes, "OK" for the message, "" otherwise.
void SettleAnswer(int32_t kind, int32_t result, const std::string& field, const std::string& field2,
                  std::string* answer, std::string* password)
{
    answer->clear();
    password->clear();
    if (result != 1) return;
    switch (kind) {
    case DIALOG_QUESTION: *answer = "1"; break;
    case DIALOG_MESSAGE: *answer = "OK"; break;
    case DIALOG_LOGIN:
        *answer = CutText(field.c_str(), kDialogAnswerLimit);
        *password = CutText(field2.c_str(), kDialogAnswerLimit);
        break;
    default: *answer = CutText(field.c_str(), kDialogAnswerLimit); break;
    }
}

// Runs a dialog modally; its answer texts are settled from the result.
int32_t RunModalDialog(QueryDialog& d, std::string* answer)
{
    GR_D3D_LeaveFullscreen();
    int32_t result = DialogHost_Get()->RunModal(d);
    std::string password;
    std::string field = d.ControlText(d.Kind() == DIALOG_LOGIN ? IDC_USER : IDC_ANSWER);
    SettleAnswer(d.Kind(), result, field, std::string(), answer, &password);
    return result;
}

} // namespace

// =============================================================================================
// [SECTION] Modal calls
// =============================================================================================
bool Dialog_ShowQuestion(const char* caption, const char* text)
{
    QueryDialog d(DIALOG_QUESTION, caption, text, nullptr);
    std::string answer;
    return RunModalDialog(d, &answer) == 1;
}

bool Dialog_InputQuery(const char* caption, const char* prompt, const char* defaultText, std::string* answer)
{
    QueryDialog d(DIALOG_INPUT, caption, prompt, defaultText);
    return RunModalDialog(d, answer) == 1;
}

// =============================================================================================
// [SECTION] Asynchronous requests
// =============================================================================================
namespace {

class DIALOG_REQ_CONTEXT;

// The dialog of a shown request: its answer finishes the request.
class AsyncDialog : public QueryDialog {
public:
    AsyncDialog(DIALOG_REQ_CONTEXT* request, int32_t kind, const char* a, const char* b, const char* c)
        : QueryDialog(kind, a, b, c), m_request(request)
    {
    }
    void Closed(int32_t result) override;
    bool open = false; // shown and not yet answered

private:
    DIALOG_REQ_CONTEXT* m_request;
};

int32_t Completion(HTTP_REQ_CONTEXT* request, void* user, int32_t* mapIndex);
void CleanUp(HTTP_REQ_CONTEXT* request);

class DIALOG_REQ_CONTEXT : public HTTP_REQ_CONTEXT {
public:
    DIALOG_REQ_CONTEXT(int32_t kind_, const char* a, const char* b, const char* c)
        : HTTP_REQ_CONTEXT(nullptr, 0, Completion, CleanUp, nullptr), kind(kind_)
    {
        text1 = a ? a : "";
        text2 = b ? b : "";
        text3 = c ? c : "";
    }
    ~DIALOG_REQ_CONTEXT() override { delete dialog; }

    DIALOG_REQ_CONTEXT* nextInQueue = nullptr; // newest first
    std::string text1, text2, text3;            // per kind (see InputQuery.h)
    int32_t kind;
    AsyncDialog* dialog = nullptr;              // while shown
    std::string reply, password;                // the answer texts once finished
};

DIALOG_REQ_CONTEXT* g_queue = nullptr; // newest first; the tail is shown

DIALOG_REQ_CONTEXT* QueueTail()
{
    DIALOG_REQ_CONTEXT* r = g_queue;
    while (r && r->nextInQueue) r = r->nextInQueue;
    return r;
}

void Unlink(DIALOG_REQ_CONTEXT* request)
{
    for (DIALOG_REQ_CONTEXT** link = &g_queue; *link; link = &(*link)->nextInQueue) {
        if (*link == request) {
            *link = request->nextInQueue;
            request->nextInQueue = nullptr;
            return;
        }
    }
}

// Shows the oldest request's dialog (when it is not shown yet).
void ShowNext()
{
    DIALOG_REQ_CONTEXT* r = QueueTail();
    if (!r || r->dialog) return;
    if (r->kind == DIALOG_LOGIN) r->dialog = new AsyncDialog(r, r->kind, r->text1.c_str(), r->text2.c_str(), nullptr);
    else r->dialog = new AsyncDialog(r, r->kind, r->text1.c_str(), r->text2.c_str(), r->text3.c_str());
    r->dialog->open = true;
    DialogHost_Get()->ShowModeless(r->dialog);
}

void AsyncDialog::Closed(int32_t result)
{
    if (!open) return;
    open = false;
    DIALOG_REQ_CONTEXT* r = m_request;
    const int32_t k = Kind();
    SettleAnswer(k, result, ControlText(k == DIALOG_LOGIN ? IDC_USER : IDC_ANSWER),
                 k == DIALOG_LOGIN ? ControlText(IDC_PASSWORD) : "", &r->reply, &r->password);
    r->httpStatus = result == 1 ? 1 : 0;
    // The reply text as the request's buffer (its size and count include the terminator).
    r->buffer = reinterpret_cast<uint8_t*>(MEM_STRDUPN(r->reply.data(), r->reply.size()));
    r->bufferSize = r->received = int32_t(r->reply.size() + 1);
    r->state.store(HTTP_STATE_FINISHED);
}

int32_t Completion(HTTP_REQ_CONTEXT* request, void*, int32_t* mapIndex)
{
    auto* r = static_cast<DIALOG_REQ_CONTEXT*>(request);
    const double id = r->id, status = r->httpStatus;
    switch (r->kind) {
    case DIALOG_MESSAGE: *mapIndex = DS_Map_CreateFromPairs(2, "id", id, nullptr, "status", status, nullptr); break;
    case DIALOG_LOGIN:
        *mapIndex = DS_Map_CreateFromPairs(4, "id", id, nullptr, "username", 0.0, r->reply.c_str(), "password", 0.0,
                                           r->password.c_str(), "status", status, nullptr);
        break;
    default:
        *mapIndex = DS_Map_CreateFromPairs(4, "id", id, nullptr, "status", status, nullptr, "result", 0.0,
                                           r->reply.c_str(), "value", Real_ParseDecimal(r->reply.c_str()), nullptr);
        break;
    }
    Unlink(r);
    if (r->dialog) {
        delete r->dialog;
        r->dialog = nullptr;
    }
    ShowNext();
    return 63;
}

// Before the request is deleted (after delivery, or undelivered at shutdown).
void CleanUp(HTTP_REQ_CONTEXT* request)
{
    auto* r = static_cast<DIALOG_REQ_CONTEXT*>(request);
    Unlink(r);
    if (r->dialog && r->dialog->open) {
        r->dialog->open = false;
        DialogHost_Get()->CloseModeless(r->dialog);
    }
}

int32_t Queue(int32_t kind, const char* a, const char* b, const char* c)
{
    GR_D3D_LeaveFullscreen();
    auto* r = new DIALOG_REQ_CONTEXT(kind, a, b, c);
    const int32_t id = r->id;
    const bool wasEmpty = g_queue == nullptr;
    r->nextInQueue = g_queue;
    g_queue = r;
    if (wasEmpty) ShowNext();
    return id;
}

} // namespace

int32_t Dialog_InputQueryAsync(const char* caption, const char* prompt, const char* defaultText)
{
    return Queue(DIALOG_INPUT, caption, prompt, defaultText);
}
int32_t Dialog_QuestionAsync(const char* caption, const char* text) { return Queue(DIALOG_QUESTION, caption, text, nullptr); }
int32_t Dialog_MessageAsync(const char* caption, const char* text) { return Queue(DIALOG_MESSAGE, caption, text, nullptr); }
int32_t Dialog_LoginAsync(const char* userName, const char* password)
{
    return Queue(DIALOG_LOGIN, userName, password, nullptr);
}

int32_t Dialog_QueueLength()
{
    int32_t n = 0;
    for (DIALOG_REQ_CONTEXT* r = g_queue; r; r = r->nextInQueue) ++n;
    return n;
}

// =============================================================================================
// [SECTION] Message boxes
// =============================================================================================
namespace {

struct BoxButtons {
    int32_t ids[3];
    const char* texts[3];
    int32_t count;
};

// ORDER: the box kinds of the flags' low four bits.
const BoxButtons kBoxButtons[6] = {
    {{IDOK_}, {"OK"}, 1},
    {{IDOK_, IDCANCEL_}, {"OK", "Cancel"}, 2},
    {{IDABORT_, IDRETRY_, IDIGNORE_}, {"Abort", "Retry", "Ignore"}, 3},
    {{IDYES_, IDNO_, IDCANCEL_}, {"Yes", "No", "Cancel"}, 3},
    {{IDYES_, IDNO_}, {"Yes", "No"}, 2},
    {{IDRETRY_, IDCANCEL_}, {"Retry", "Cancel"}, 2},
};

const BoxButtons& ButtonsOf(uint32_t flags)
{
    uint32_t set = flags & 0xF;
    return kBoxButtons[set > 5 ? 0 : set];
}

} // namespace

MessageBoxDialog::MessageBoxDialog(const char* text, const char* caption, uint32_t flags, DialogTextMeasure measure)
    : m_text(text ? text : ""), m_caption(caption ? caption : ""), m_flags(flags)
{
    // Without the font's measure: about 4 dialog units a character, lines as the text breaks them.
    int32_t lines = 1, longest = 0, column = 0;
    for (const char* p = m_text.c_str(); *p; ++p) {
        if (*p == '\n' || (*p == '\r' && p[1] != '\n')) { // "\r\n", "\r" and "\n" break a line
            ++lines;
            column = 0;
        } else if ((uint8_t(*p) & 0xC0) != 0x80 && ++column > longest) {
            longest = column;
        }
    }
    int32_t textWidth = longest * 4;
    if (measure) textWidth = int32_t(std::ceil(measure(m_text.c_str(), 0.0f).width)) + 1; // a unit to spare for rounding
    const BoxButtons& b = ButtonsOf(flags);
    int32_t width = textWidth + 20;
    const int32_t buttonsWidth = b.count * 54 + 10;
    if (width < buttonsWidth) width = buttonsWidth;
    if (width < 160) width = 160;
    if (width > 400) width = 400;
    // Every line the text takes in the box, its long lines wrapped.
    if (measure) lines = measure(m_text.c_str(), float(width - 20)).lines;
    const int32_t textHeight = lines * 9 + 4 > 200 ? 200 : lines * 9 + 4;
    const int32_t height = textHeight + 34;
    m_controls[0] = {0, DLGC_TEXT, 10, 8, int16_t(width - 20), int16_t(textHeight), "", false};
    const int32_t defaultButton = MessageBox_DefaultAnswer(flags);
    for (int32_t i = 0; i < b.count; ++i) {
        const int32_t x = width - 7 - (b.count - i) * 54 + 4;
        m_controls[1 + i] = {b.ids[i], DLGC_BUTTON, int16_t(x), int16_t(height - 21), 50, 14, b.texts[i],
                             b.ids[i] == defaultButton};
    }
    m_template = {int16_t(width), int16_t(height), m_controls, 1 + b.count};
}

int32_t MessageBoxDialog::Command(int32_t id)
{
    const BoxButtons& b = ButtonsOf(m_flags);
    for (int32_t i = 0; i < b.count; ++i) {
        if (b.ids[i] == id) {
            End(id);
            return 1;
        }
    }
    return 0;
}

int32_t MessageBoxDialog::ButtonId(const char* text) const
{
    const BoxButtons& b = ButtonsOf(m_flags);
    for (int32_t i = 0; text && i < b.count; ++i)
        if (std::strcmp(b.texts[i], text) == 0) return b.ids[i];
    return -1;
}

int32_t MessageBoxDialog::DefaultResult() const { return MessageBox_DefaultAnswer(m_flags); }

const char* MessageBoxDialog::ControlText(int32_t id) const
{
    return id == 0 ? m_text.c_str() : IModalDialog::ControlText(id);
}

// Escape answers Cancel where the box has it, and OK for a box with only OK (as the system's
// boxes do); the others cannot be escaped.
int32_t MessageBoxDialog::CancelId() const
{
    const BoxButtons& b = ButtonsOf(m_flags);
    for (int32_t i = 0; i < b.count; ++i)
        if (b.ids[i] == IDCANCEL_) return IDCANCEL_;
    return b.count == 1 ? IDOK_ : -1;
}
