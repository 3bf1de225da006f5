#include "i18n/UnitBuiltInTexts.h"

namespace {

// Non-ASCII letters are written as Windows-1252 byte escapes so the program
// carries the exact bytes whatever the source encoding is taken for.
constexpr TBuiltInText kCatalogue[] = {
    // Language
    {"Language.Caption", "English", "Portugu\xEAs"},
    {"Language.Comment", "United States", "Brasileiro"},
    {"Language.Author", "ORV - Orvane", "ORV - Orvane"},
    {"Language.New", "< New Language >", "< Nova L\xEDngua >"},
    // Translate
    {"Translate.Caption", "Translation", "Tradu\xE7\xE3o"},
    // MainForm
    {"MainForm.mnuFile", "File", "Arquivo"},
    {"MainForm.mnuExit", "Exit", "Sair"},
    {"MainForm.mnuEdit", "Edit", "Editar"},
    {"MainForm.mnuSelectAll", "Select all", "Marcar todos"},
    {"MainForm.mnuDeselectAll", "Deselect all", "Desmarcar todos"},
    {"MainForm.mnuAddJob", "Add...", "Adicionar..."},
    {"MainForm.mnuEditJob", "Open...", "Abrir..."},
    {"MainForm.mnuDeleteJob", "Delete...", "Apagar..."},
    {"MainForm.mnuDownload", "Download", "Download"},
    {"MainForm.mnuStartJob", "Start", "Ativar"},
    {"MainForm.mnuStartAllJobs", "Start all", "Ativar todos"},
    {"MainForm.mnuStopJob", "Stop", "Desativar"},
    {"MainForm.mnuStopAllJobs", "Stop all", "Desativar todos"},
    {"MainForm.mnuOptions", "Options",
     "Op\xE7\xF5"
     "es"},
    {"MainForm.mnuPreferences", "Preferences...", "Prefer\xEAncias..."},
    {"MainForm.mnuHelp", "Help", "Ajuda"},
    {"MainForm.mnuTopics", "Topics...", "T\xF3picos..."},
    {"MainForm.mnuEmailAuthors", "Send suggestions...",
     "Enviar sugest\xF5"
     "es..."},
    {"MainForm.mnuWhatsNew", "What's new is this version...",
     "O que h\xE1 de novo nesta vers\xE3o..."},
    {"MainForm.mnuRecommendToFriend", "Recommend to friend...", "Recomendar a um amigo..."},
    {"MainForm.mnuVelomarHome", "Velomar home...", "Velomar na Internet..."},
    {"MainForm.mnuAutoUpdate", "Update Velomar...",
     "Atualizar o Velomar para \xFAltima vers\xE3o..."},
    {"MainForm.mnuFAQ", "Frequently Asked Questions...", "Perguntas mais frequentes (FAQ)..."},
    {"MainForm.mnuSetPriority", "Set priority", "Atribuir prioridade"},
    {"MainForm.mnuSetPriorityHigh", "1 - High", "1 - Alta"},
    {"MainForm.mnuSetPriorityNormal", "3 - Normal", "3 - Normal"},
    {"MainForm.mnuSetPriorityLow", "5 - Low", "5 - Baixa"},
    {"MainForm.mnuSetPriorityVeryLow", "9 - Very low", "9 - Muito baixa"},
    {"MainForm.mnuShow", "Show main form", "Mostrar janela principal"},
    {"MainForm.mnuCopyURL", "Copy URL", "Copiar URL"},
    {"MainForm.mnuDownloadAgain", "Download again", "Baixar novamente"},
    {"MainForm.mnuLaunch", "Open downloaded file...", "Abrir arquivo baixado..."},
    {"MainForm.mnuExplore", "Explore...", "Explorar..."},
    {"MainForm.mnuBrowserIntegration", "Browser integration", "Integra\xE7\xE3o com navegador"},
    {"MainForm.mnuClipboardMonitoring", "Clipboard monitoring",
     "Monitoramento da \xE1rea de transfer\xEAncia"},
    {"MainForm.mnuShowSideBar", "Show \"Velomar\" as side bar",
     "Mostrar \"Velomar\" como barra lateral"},
    {"MainForm.JobList.0", "File", "Arquivo"},
    {"MainForm.JobList.1", "Priority", "Prior."},
    {"MainForm.JobList.2", "Size", "Tamanho"},
    {"MainForm.JobList.3", "Ratio", "Curso"},
    {"MainForm.JobList.4", "BPS", "BPS"},
    {"MainForm.JobList.5", "Elapsed", "Decorrido"},
    {"MainForm.JobList.6", "Left", "Restante"},
    {"MainForm.JobList.7", "Connections",
     "Conex\xF5"
     "es"},
    {"MainForm.JobList.8", "URL", "URL"},
    {"MainForm.JobList.9", "Comment", "Coment\xE1rios"},
    {"MainForm.Msg.BrowserCannotBeLaunched", "It was not possible to launch a browser program.",
     "N\xE3o foi poss\xEDvel acionar o navegador padr\xE3o."},
    {"MainForm.JobLog.Caption", "Log", "Log"},
    {"MainForm.JobLog.Date", "Date", "Data"},
    {"MainForm.JobLog.Description", "Description", "Descri\xE7\xE3o"},
    {"MainForm.BetaNotification", "Send us your suggestion",
     "Enviar sugest\xF5"
     "es"},
    {"MainForm.Hint.AddJob", "Adds a new download task", "Adiciona uma nova tarefa"},
    {"MainForm.Hint.EditJob", "Shows task information to change",
     "Disponibiliza as informa\xE7\xF5"
     "es da tarefa selecionada"},
    {"MainForm.Hint.DeleteJob", "Removes selected task from list",
     "Exclui a tarefa selecionada da lista"},
    {"MainForm.Hint.StartJob", "Starts selected download task", "Reinicia a tarefa selecionada"},
    {"MainForm.Hint.StopJob", "Stops selected download task",
     "Suspende temporariamente a tarefa selecionada"},
    {"MainForm.Hint.Preferences", "Allows customize this program by changing preferences",
     "Disponibiliza as configura\xE7\xF5"
     "es para personaliza\xE7\xE3o"},
    {"MainForm.Hint.AutoUpdate", "Updates Velomar to newest version",
     "Atualiza o Velomar para \xFAltima vers\xE3o"},
    {"MainForm.Hint.Suggestions", "Lets contact support or send suggestions",
     "Permite contactar o suporte e enviar sugest\xF5"
     "es"},
    {"MainForm.Hint.Logo", "Visits Velomar's web site",
     "Visita a p\xE1gina do Velomar na Internet"},
    {"MainForm.Hint.DisplayNews", "Displays information, news and tips",
     "Apresenta not\xED"
     "cias, informa\xE7\xF5"
     "es e sugest\xF5"
     "es"},
    // IE
    {"IE.ToolBar.ButtonText", "Velomar", "Velomar"},
    {"IE.ToolBar.MenuText", "Velomar", "Velomar"},
    {"IE.ToolBar.StatusBar", "Launchs Velomar...", "Aciona o Velomar..."},
    {"IE.Context.Download", "Download by Velomar...", "Baixar com o Velomar..."},
    {"IE.Context.DownloadAll", "Download all by Velomar...", "Baixar tudo com o Velomar..."},
    // Shell
    {"Shell.Type", "Incomplete Velomar Download", "Download Incompleto do Velomar"},
    {"Shell.Cmd.AutoUpdate", "Velomar LiveUpdate", "Atualizar Velomar"},
    // PrefForm
    {"PrefForm.Caption", "Preferences", "Prefer\xEAncias"},
    {"PrefForm.Jobs.Caption", "Download", "Download"},
    {"PrefForm.Jobs.Limits", "Limits", "Limites"},
    {"PrefForm.Jobs.Defaults", "Defaults",
     "Padr\xF5"
     "es"},
    {"PrefForm.Jobs.MaxConcurrent", "Max concurrent downloads", "Downloads simult\xE2neos"},
    {"PrefForm.Jobs.DownloadDirectory", "Target directory", "Diret\xF3rio destino"},
    {"PrefForm.Jobs.Engines", "Connections",
     "Conex\xF5"
     "es"},
    {"PrefForm.Jobs.DownloadImmediately", "Download immediately", "Baixar imediatamente"},
    {"PrefForm.Jobs.ShowJobComplete", "Show window \"Download Complete\"",
     "Mostrar janela indicando \"Download Completo\""},
    {"PrefForm.Jobs.NewDir",
     "If you specify a non existent directory to save downloaded files, Velomar creates it for "
     "you.",
     "Se voc\xEA especificar um diret\xF3rio que n\xE3o exista para gravar os arquivos baixados, o "
     "Velomar cria para voc\xEA."},
    {"PrefForm.Languages.Caption", "Languages", "L\xEDnguas"},
    {"PrefForm.Languages.Name", "Name", "Nome"},
    {"PrefForm.Languages.Comment", "Comment", "Coment\xE1rio"},
    {"PrefForm.Languages.Author", "Author", "Autoria"},
    {"PrefForm.Languages.Apply", "Apply", "Aplicar"},
    {"PrefForm.Languages.Copy", "Copy", "Copiar"},
    {"PrefForm.Languages.Delete", "Delete", "Apagar"},
    {"PrefForm.Languages.Translate", "Translate", "Traduzir"},
    {"PrefForm.Connection.Caption", "Connection", "Conex\xE3o"},
    {"PrefForm.ErrorHandle.Caption", "Error handle", "Controle de erros"},
    {"PrefForm.ErrorHandle.MaxRetries", "Max retries", "Tentativas"},
    {"PrefForm.ErrorHandle.RetryDelay", "Retry delay", "Intervalo"},
    {"PrefForm.ErrorHandle.AlwaysRetry", "Always retry", "Tentar sempre"},
    {"PrefForm.Proxy.Caption", "Proxy", "Proxy"},
    {"PrefForm.Proxy.UseHTTPProxy", "Use HTTP proxy", "Usar proxy HTTP"},
    {"PrefForm.Proxy.HTTPProxyPort", "Port", "Porta"},
    {"PrefForm.Proxy.UseFTPProxy", "Use FTP proxy", "Usar proxy FTP"},
    {"PrefForm.Proxy.FTPProxyPort", "Port", "Porta"},
    {"PrefForm.Automation.Caption", "Automation", "Automa\xE7\xE3o"},
    {"PrefForm.Automation.BrowserIntegration", "Integrate with browser and capture files of type",
     "Integrar com o navegador e capturar arquivos com extens\xE3o"},
    {"PrefForm.Automation.ClipboardMonitoring", "Monitor the clipboard and capture files of type",
     "Monitorar a \xE1rea de transfer\xEAncia e capturar arquivos com extens\xE3o"},
    {"PrefForm.Automation.ExtensionExclusions",
     "Ignore files with these masks:", "Ignorar arquivos para estas m\xE1scaras:"},
    {"PrefForm.Automation.ShowAddURL", "Display \"Add URL\" dialog",
     "Apresentar janela de inser\xE7\xE3o da URL"},
    {"PrefForm.Automation.AggressiveCapturing", "Capture files using advanced methods",
     "Capturar arquivos usando m\xE9todos avan\xE7"
     "ados"},
    {"PrefForm.Schedule.Caption", "Schedule", "Agendamento"},
    {"PrefForm.Schedule.Start", "Start at", "Iniciar \xE0s"},
    {"PrefForm.Schedule.UseDialUp", "Use this dial-up connection to start",
     "Usar esta conex\xE3o discada para iniciar"},
    {"PrefForm.Schedule.Stop", "Stop at", "Finalizar \xE0s"},
    {"PrefForm.Schedule.StopAlert",
     "This option just stops current downloads. To disconnect you have to mark the option "
     "\"Disconnect when...\" below.",
     "A op\xE7\xE3o \"Finalizar \xE0s\" somente interrompe os downloads. Para desconectar marque a "
     "op\xE7\xE3o de desconex\xE3o em seguida."},
    {"PrefForm.Schedule.DisconnectWhenComplete", "Disconnect when complete download",
     "Desconectar logo ap\xF3s completar todos os downloads"},
    {"PrefForm.Schedule.ShutdownWhenDisconnect", "Shutdown after disconnect",
     "Desligar ap\xF3s desconectar"},
    {"PrefForm.System.Caption", "System", "Sistema"},
    {"PrefForm.System.Shortcuts", "Select where Velomar should place shortcuts:",
     "Selecione onde o Velomar deve manter atalhos:"},
    {"PrefForm.System.StartMenu", "Start Menu", "Menu Iniciar"},
    {"PrefForm.System.ProgramsMenu", "Programs Menu", "Menu Programas"},
    {"PrefForm.System.StartUpMenu", "Startup Menu",
     "Menu Iniciar (Inicializa\xE7\xE3o do Windows)"},
    {"PrefForm.System.Desktop", "Desktop", "\xC1rea de trabalho"},
    {"PrefForm.System.AutoUpdateOnStartMenu", "Velomar LiveUpdate on Start Menu",
     "Atualiza\xE7\xE3o do Velomar no Menu Iniciar"},
    {"PrefForm.System.StartOnTray", "Start on tray",
     "N\xE3o apresentar formul\xE1rio principal na inicializa\xE7\xE3o"},
    {"PrefForm.System.OnlyWindowsStartUp", "Only in Windows startup",
     "Somente na inicializa\xE7\xE3o do Windows"},
    {"PrefForm.System.Uninstall", "Uninstall", "Desinstalar"},
    {"PrefForm.WControl.Caption", "WebControl", "WebControl"},
    {"PrefForm.WControl.Terms", "Terms", "Termos"},
    {"PrefForm.WControl.Account", "Account", "Conta"},
    {"PrefForm.WControl.Active", "WebControl Integration",
     "Integra\xE7\xE3o com tecnologia WebControl"},
    {"PrefForm.WControl.UserName", "Name or nick", "Nome ou apelido"},
    {"PrefForm.WControl.UserEMail", "EMail", "EMail"},
    {"PrefForm.Msg.Sure", "This will uninstall Velomar. Are you sure?",
     "Esta opera\xE7\xE3o ir\xE1 desinstalar o Velomar do seu computador. Deseja continuar?"},
    {"PrefForm.Msg.Uninstalled",
     "The complete uninstall will be done at next system initialization. Do you want to reboot "
     "right now?",
     "A remo\xE7\xE3o completa do Velomar ser\xE1 feita na pr\xF3xima inicializa\xE7\xE3o do "
     "computador. Deseja reiniciar agora?"},
    {"PrefForm.Close", "OK", "OK"},
    {"PrefForm.Cancel", "Cancel", "Cancelar"},
    {"PrefForm.Msg.TypeDownloadDirectory", "Choose a directory where download files will be saved.",
     "Informe o diret\xF3rio padr\xE3o para grava\xE7\xE3o dos arquivos baixados."},
    // JobForm
    {"JobForm.Caption", "Download", "Download"},
    {"JobForm.TabJobCaption", "Main", "Principal"},
    {"JobForm.File", "File", "Arquivo"},
    {"JobForm.Misc", "Miscellaneous", "Outros"},
    {"JobForm.URL", "URL", "URL"},
    {"JobForm.DownloadDirectory", "Target directory", "Diret\xF3rio destino"},
    {"JobForm.Rename", "Rename", "Renomear para"},
    {"JobForm.Comment", "Comment", "Coment\xE1rio"},
    {"JobForm.Engines", "Connections",
     "Conex\xF5"
     "es"},
    {"JobForm.Priority", "Priority", "Prioridade"},
    {"JobForm.Connection.Caption", "Connection", "Conex\xE3o"},
    {"JobForm.Connection.Authentication", "Authentication", "Autentica\xE7\xE3o"},
    {"JobForm.Connection.UseCustomAuthentication", "Use authentication", "Usar autentica\xE7\xE3o"},
    {"JobForm.Connection.User", "User", "Usu\xE1rio"},
    {"JobForm.Connection.Password", "Password", "Senha"},
    {"JobForm.Close", "OK", "OK"},
    {"JobForm.Cancel", "Cancel", "Cancelar"},
    {"JobForm.Msg.TypeDownloadDirectory", "Choose a directory where downloaded file will be saved.",
     "Informe o diret\xF3rio onde o arquivo baixado deve ser gravado."},
    {"JobForm.DefaultDir", "Default directory", "Diret\xF3rio padr\xE3o"},
    {"JobForm.LastDir", "Last directory", "\xDAltimo diret\xF3rio"},
    {"JobForm.SelectDir", "Select...", "Selecionar..."},
    // LicenseForm
    {"LicenseForm.Caption", "Terms of use...", "Termos de uso..."},
    {"LicenseForm.Agree", "Agree", "Concordo"},
    {"LicenseForm.Disagree", "Disagree", "Discordo"},
    // AutoUpdate
    {"AutoUpdate.Caption", "Velomar LiveUpdate", "Atualiza\xE7\xE3o do Velomar"},
    {"AutoUpdate.Cancel", "Cancel", "Cancelar"},
    {"AutoUpdate.DownloadInfo", "Connecting...", "Conectando..."},
    {"AutoUpdate.PercentFormat", "%s of %s (%s bps)", "%s de %s (%s bps)"},
    {"AutoUpdate.Msg.Fail",
     "It is not possible to access Velomar AutoUpdate Internet Site. Try again later.",
     "N\xE3o foi poss\xEDvel acessar a atualiza\xE7\xE3o via internet do Velomar. Tente novamente "
     "mais tarde."},
    // DownloadLog
    {"DownloadLog.StartUp", "Starting...", "Iniciando..."},
    {"DownloadLog.Connect", "Connecting host...", "Conectando ao servidor..."},
    {"DownloadLog.Connected", "Host connected.", "Servidor conectado."},
    {"DownloadLog.Redirect", "Redirecting...", "Redirecionando..."},
    {"DownloadLog.Download", "Downloading...", "Baixando..."},
    {"DownloadLog.Success", "Download succeeded.",
     "Download conclu\xED"
     "do."},
    {"DownloadLog.WaitForRetry", "Waiting for retry...", "Aguardando nova tentativa..."},
    {"DownloadLog.Fail", "Download failed.",
     "Download n\xE3o conclu\xED"
     "do."},
    {"DownloadLog.Stop", "Manually stopped.", "Interrompido manualmente."},
    {"DownloadLog.Error", "Error.", "Erro."},
    {"DownloadLog.Error.10054", "Error 10054: Connection reset by peer.",
     "Erro 10054: Conex\xE3o fechada pelo servidor."},
    {"DownloadLog.Error.10060", "Error 10060: Connection timed out.",
     "Erro 10060: Tempo de conex\xE3o esgotado."},
    {"DownloadLog.Error.10061", "Error 10061: Connection refused by server.",
     "Erro 10061: Conex\xE3o recusada pelo servidor."},
    {"DownloadLog.Error.10065", "Error 10065: There is no route to host.",
     "Erro 10065: N\xE3o h\xE1 rota para o servidor. Confira o endere\xE7o ou tente baixar de "
     "outro servidor."},
    {"DownloadLog.UnknownProtocol", "Bad URL. Unknown protocol.", "Protocolo desconhecido."},
    // DeleteJobForm
    {"DeleteJobForm.Caption", "Delete Job Confirmation", "Confirma\xE7\xE3o de exclus\xE3o"},
    {"DeleteJobForm.Confirmation", "Are you sure to delete the selected download job(s)?",
     "Voc\xEA deseja apagar o(s) download(s) selecionado(s)?"},
    {"DeleteJobForm.DeleteFile", "Delete downloaded files", "Apagar arquivos baixados"},
    {"DeleteJobForm.DeletePartialFile", "Delete partially downloaded files",
     "Apagar arquivos baixados parcialmente"},
    {"DeleteJobForm.OK", "Delete", "Apagar"},
    {"DeleteJobForm.Cancel", "Cancel", "Cancelar"},
    // JobCompleteForm
    {"JobCompleteForm.Caption", "Download Complete", "Download Completo"},
    {"JobCompleteForm.NotShowAgain", "Don't show this window again",
     "N\xE3o mostrar esta janela novamente"},
    {"JobCompleteForm.Close", "Close", "Fechar"},
    // NewsForm
    {"NewsForm.Caption", "Velomar News...",
     "Canal de Not\xED"
     "cias do Velomar"},
    {"NewsForm.Status", "Press <RETURN> or double-click an item.",
     "Tecle <ENTER> ou d\xEA um duplo-clique sobre o item."},
    // AuthentForm
    {"AuthentForm.Caption", "Password Requested", "Senha Requisitada"},
    {"AuthentForm.User", "User", "Usu\xE1rio"},
    {"AuthentForm.Password", "Password", "Senha"},
    {"AuthentForm.Authorize", "Authorize", "Autorizar"},
    {"AuthentForm.Cancel", "Cancel", "Cancelar"},
};

constexpr const char* kGlossaryHeader = "[Glossary]";
constexpr int kTrailingBlankLines = 3;

std::string LanguageText(const char* TBuiltInText::*wording) {
    std::string text = kGlossaryHeader;
    text += "\r\n";
    for (const auto& e : kCatalogue) {
        text += e.Key;
        text += '=';
        text += e.*wording;
        text += "\r\n";
    }
    for (int i = 0; i < kTrailingBlankLines; ++i)
        text += "\r\n";
    return text;
}

// A static value is fixed text or a path on one of the two sites.
struct TStaticValue {
    const char* Key;
    const char* General; // value or path for every language
    const char* Brazil;  // value or path for Portuguese only; nullptr: none
    bool IsPath;
};

constexpr const char* kPortuguesePrefix = "Portugu\xEAs";
constexpr const char* kCaptionHead = "Velomar BETA 1.0.28 - ";

constexpr TStaticValue kStatic[] = {
    {"VersionID", "28", nullptr, false},
    {"DCenterVersionID", "28a", nullptr, false},
    {"MainForm.Caption", "/", "/", true}, // caption head + home page
    {"AutoUpdate.URL", "/autoupdate/", "/autoupdate/", true},
    {"DownloadCenter.PingURL", "/dcenter/ping.pl", "/dcenter/ping.pl", true},
    {"URL.mnuTopics", "/help.htm", "/ajuda.htm", true},
    {"URL.mnuEmailAuthors", "/suggest.htm", "/sugestao.htm", true},
    {"URL.mnuWhatsNew", "/help.htm#new", "/ajuda.htm#novo", true},
    {"URL.mnuRecommendToFriend", "/recommend.htm", "/recomendar.htm", true},
    {"URL.mnuVelomarHome", "/", "/", true},
    {"URL.mnuFrequentlyAskedQuestions", "/faq.htm", "/faq.htm", true},
    {"TermID", "2", "1", false},
    {"News.FileName", "VelomarEg.news", "VelomarPt.news", false},
};

std::string StaticValue(const TStaticValue& v, const char* value, const std::string& site) {
    std::string s = v.IsPath ? site + value : std::string(value);
    if (std::string(v.Key) == "MainForm.Caption") s = kCaptionHead + s;
    return s;
}

} // namespace

std::span<const TBuiltInText> BuiltInCatalogue() {
    return kCatalogue;
}

std::string BuiltInEnglishText() {
    return LanguageText(&TBuiltInText::English);
}
std::string BuiltInPortugueseText() {
    return LanguageText(&TBuiltInText::Portuguese);
}

TServiceSites DefaultServiceSites() {
    return {"http://www.velomar.example", "http://www.velomar-br.example"};
}

std::string BuiltInStaticText(const TServiceSites& sites) {
    std::string text;
    for (const auto& v : kStatic)
        text += std::string("General.") + v.Key + "=" + StaticValue(v, v.General, sites.General) +
                "\r\n";
    for (const auto& v : kStatic)
        if (v.Brazil)
            text += std::string(kPortuguesePrefix) + "." + v.Key + "=" +
                    StaticValue(v, v.Brazil, sites.Brazil) + "\r\n";
    return text;
}
