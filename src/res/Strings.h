#pragma once

#include <string>

namespace kivora::res {

// Ids of the string table. The URL templates are the tails that the server link
// puts after the path prefix; their "%s" places are filled left to right.
enum StringId : int {
    IDS_ABOUTBOX = 101,
    IDS_DEFAULT_HOST = 102,
    IDS_URL_LOGIN = 103,
    IDS_URL_VISITOR_LIST = 104,
    IDS_URL_PARAMS = 105,
    IDS_URL_PRESENCE_ACTION = 106,
    IDS_URL_GO_ONLINE = 107,
    IDS_URL_GO_OFFLINE = 108,
    IDS_SAMPLE_VISITOR_LIST = 109,
    IDS_DEFAULT_PATH_PREFIX = 111,
    IDS_URL_DETAILS = 112,
    IDS_URL_PROACTIVE = 113,
    IDS_URL_ACTION = 114,
    IDS_URL_SAVE_MESSAGE = 115,
    IDS_URL_NEW_MESSAGES = 116,
    IDS_URL_ALL_MESSAGES = 117,
    IDS_EMPTY_FIELD = 118,
    IDS_MESSAGE_CAPTION = 119,
    IDS_ACTION_REMOVE = 120,
    IDS_ACTION_INVITE = 121,
    IDS_ACTION_REFUSE = 122,
    IDS_URL_CHAT_LISTS = 123,
    IDS_URL_ACCEPT = 124,
    IDS_URL_SEND_LINE = 125,
    IDS_URL_CHAT_POLL = 126,
    IDS_URL_VISITOR_TYPING = 127,
    IDS_URL_TRANSCRIPTS_PAGE = 128,
    IDS_URL_CONTROL_PAGE = 129,
    IDS_URL_HISTORY_PAGE = 130,
    IDS_URL_TRANSFER = 131,
    IDS_URL_OPERATOR_TYPING = 132,
    IDS_URL_LOGOUT = 133,
    IDS_URL_NAME_MAIL = 134,
};

// The text of a string-table entry, or an empty string for an unknown id.
const std::string& LoadString(int id);

// The service's web address named in the account-deactivated message.
const std::string& ServiceWebAddress();

} // namespace kivora::res
