#include "Strings.h"

#include "BuildConfig.h"

#include <map>

namespace kivora::res {

namespace {

const std::map<int, std::string>& Table()
{
    static const std::map<int, std::string> table = {
        {IDS_ABOUTBOX, "&About Tolvane..."},
        {IDS_DEFAULT_HOST, KIVORA_DEFAULT_HOST},
        {IDS_URL_LOGIN, "/w-login.php?loginid=%s&stid=%s&pwd=%s"},
        {IDS_URL_VISITOR_LIST, "/w-allonlineu.php?nadminid=%s&nsid=%s"},
        {IDS_URL_PARAMS, "/w-param.php?stid=%s"},
        {IDS_URL_PRESENCE_ACTION, "/w-mrefresh.php?sid=%s&adminid=%s&action"},
        {IDS_URL_GO_ONLINE, "/w-mrefresh.php?sid=%s&adminid=%s&action=lgon"},
        {IDS_URL_GO_OFFLINE, "/w-mrefresh.php?sid=%s&adminid=%s&action=lgof"},
        {IDS_SAMPLE_VISITOR_LIST,
         "192.0.2.10<fld>0:00:42 (1)<fld>/index.html<fld>Chat Request<fld>N<fld>c1001<fld><fld>"
         "<fld>0<fld>0<fld>N<ln><blk>admin<blk><blk>"},
        {IDS_DEFAULT_PATH_PREFIX, "/cpn"},
        {IDS_URL_DETAILS, "/w-lmudets.php?csesid=%s"},
        {IDS_URL_PROACTIVE, "/w-prop.php?csesid=%s&prop=A&popwin=%s&ppurl=%s"},
        {IDS_URL_ACTION, "/w-action.php?action=%s&csesid=%s&sid=%s&adminid=%s"},
        {IDS_URL_SAVE_MESSAGE, "/w-admsg.php?adid=%s&action=save&admsg=%s&adminid=%s&sid=%s"},
        {IDS_URL_NEW_MESSAGES, "/w-admsg.php?action=dsp&snd=p&adminid=%s&sid=%s"},
        {IDS_URL_ALL_MESSAGES, "/w-admsg.php?action=dspall&adminid=%s&sid=%s"},
        {IDS_EMPTY_FIELD, "\"Empty Username or password field\""},
        {IDS_MESSAGE_CAPTION, "Kivora"},
        {IDS_ACTION_REMOVE, "remove"},
        {IDS_ACTION_INVITE, "cinvt"},
        {IDS_ACTION_REFUSE, "refuse"},
        {IDS_URL_CHAT_LISTS, "/w-amespc.php?adminid=%s&sid=%s"},
        {IDS_URL_ACCEPT, "/w-adc.php?csesid=%s&ipaddr=%s&adminid=%s&sid=%s"},
        {IDS_URL_SEND_LINE, "/w-amessub.php?say=%s&csesid=%s&adminid=%s&sid=%s"},
        {IDS_URL_CHAT_POLL,
         "/w-achats.php?uname=&adminid=%s&csesid=%s&ipadd=%s&sid=%s&lastnum=%s"},
        {IDS_URL_VISITOR_TYPING, "/w-otype.php?csesid=%s&stat=&sid=%s"},
        {IDS_URL_TRANSCRIPTS_PAGE, "/w-browser.php?loginid=%s&stid=%s&adm=%s&opurl=transcript"},
        {IDS_URL_CONTROL_PAGE, "/w-browser.php?loginid=%s&stid=%s&adm=%s&opurl=control"},
        {IDS_URL_HISTORY_PAGE,
         "/w-browser.php?loginid=%s&stid=%s&adm=%s&opurl=vchathist&ipadd=%s"},
        {IDS_URL_TRANSFER, "/w-ctransf.php?csesid=%s&adid=%s&sid=%s&adminid=%s&action=trans"},
        {IDS_URL_OPERATOR_TYPING, "/w-otype.php?csesid=%s&stat=otype&sid=%s"},
        {IDS_URL_LOGOUT, "/w-adminout.php?adminid=%s&sid=%s"},
        {IDS_URL_NAME_MAIL, "/w-browser.php?csesid=%s&loginid=%s&stid=%s&opurl=namemail"},
    };
    return table;
}

} // namespace

const std::string& LoadString(int id)
{
    static const std::string empty;
    const auto& table = Table();
    const auto it = table.find(id);
    return it == table.end() ? empty : it->second;
}

const std::string& ServiceWebAddress()
{
    static const std::string address = KIVORA_SERVICE_WEB_ADDRESS;
    return address;
}

} // namespace kivora::res
