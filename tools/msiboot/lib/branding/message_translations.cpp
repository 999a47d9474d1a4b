#include "branding/message_translations.h"

#include <algorithm>

namespace msiboot_tool {

const std::vector<MessageTranslation>& message_translations() {
  static const std::vector<MessageTranslation> table = {
      {"German", {0x0407},
       {"Für dieses Installationspaket ist Windows Installer erforderlich. Microsoft® Windows® Installer (MSI) ist "
        "der Dienst zum Installieren und Konfigurieren von Anwendungen unter Windows. Um die Installation "
        "fortzusetzen, starten Sie sie erneut, sobald Windows Installer auf Ihrem Computer installiert ist.",
        "Die Installationsdatei ist entweder beschädigt oder unterstützt die Prozessorarchitektur Ihres Computers "
        "nicht.",
        "Wählen Sie den Ordner aus, in den die Installationsdateien extrahiert werden sollen:"}},
      {"French", {0x040C, 0x0C0C},
       {"Ce package d'installation nécessite Windows Installer. Microsoft® Windows® Installer (MSI) est le service "
        "d'installation et de configuration des applications de Windows. Pour poursuivre l'installation, "
        "relancez-la lorsque Windows Installer sera installé sur votre ordinateur.",
        "Le fichier d'installation est endommagé ou ne prend pas en charge l'architecture de votre processeur.",
        "Sélectionnez le dossier dans lequel extraire les fichiers d'installation\u00A0:"}},
      {"Spanish", {0x0C0A, 0x080A},
       {"Este paquete de instalación requiere Windows Installer. Microsoft® Windows® Installer (MSI) es el "
        "servicio de instalación y configuración de aplicaciones de Windows. Para continuar con la instalación, "
        "vuelva a iniciarla cuando Windows Installer esté instalado en el equipo.",
        "El archivo de instalación está dañado o no es compatible con la arquitectura de su procesador.",
        "Seleccione la carpeta en la que desea extraer los archivos de instalación:"}},
      {"Italian", {0x0410},
       {"Per questo pacchetto di installazione è necessario Windows Installer. Microsoft® Windows® Installer (MSI) "
        "è il servizio di installazione e configurazione delle applicazioni di Windows. Per continuare, avviare di "
        "nuovo l'installazione dopo aver installato Windows Installer nel computer.",
        "Il file di installazione è danneggiato oppure non supporta l'architettura del processore in uso.",
        "Selezionare la cartella in cui estrarre i file di installazione:"}},
      {"Portuguese (Brazil)", {0x0416},
       {"O Windows Installer é necessário para este pacote de instalação. O Microsoft® Windows® Installer (MSI) "
        "é o serviço de instalação e configuração de aplicativos do Windows. Para continuar, inicie a instalação "
        "novamente quando o Windows Installer estiver instalado no seu computador.",
        "O arquivo de instalação está corrompido ou não é compatível com a arquitetura do seu processador.",
        "Selecione a pasta na qual deseja extrair os arquivos de instalação:"}},
      {"Russian", {0x0419},
       {"Для этого пакета установки требуется установщик Windows. Установщик Microsoft® Windows® (MSI) — "
        "служба установки и настройки приложений Windows. Чтобы продолжить, запустите установку снова, "
        "когда установщик Windows будет установлен на компьютере.",
        "Файл установки повреждён или не поддерживает архитектуру вашего процессора.",
        "Выберите папку, в которую нужно извлечь файлы установки:"}},
      {"Polish", {0x0415},
       {"Ten pakiet instalacyjny wymaga Instalatora Windows. Instalator Microsoft® Windows® (MSI) to usługa "
        "instalowania i konfigurowania aplikacji w systemie Windows. Aby kontynuować, uruchom instalację ponownie "
        "po zainstalowaniu Instalatora Windows na komputerze.",
        "Plik instalacyjny jest uszkodzony lub nie obsługuje architektury procesora tego komputera.",
        "Wybierz folder, do którego mają zostać wyodrębnione pliki instalacyjne:"}},
      {"Turkish", {0x041F},
       {"Bu yükleme paketi için Windows Installer gereklidir. Microsoft® Windows® Installer (MSI), Windows'un "
        "uygulama yükleme ve yapılandırma hizmetidir. Devam etmek için Windows Installer bilgisayarınıza "
        "yüklendikten sonra yüklemeyi yeniden başlatın.",
        "Yükleme dosyası bozuk veya işlemci mimarinizi desteklemiyor.",
        "Yükleme dosyalarının ayıklanacağı klasörü seçin:"}},
      {"Dutch", {0x0413},
       {"Voor dit installatiepakket is Windows Installer vereist. Microsoft® Windows® Installer (MSI) is de "
        "service voor het installeren en configureren van toepassingen in Windows. Start de installatie opnieuw "
        "zodra Windows Installer op uw computer is geïnstalleerd.",
        "Het installatiebestand is beschadigd of ondersteunt de architectuur van uw processor niet.",
        "Selecteer de map waarin u de installatiebestanden wilt uitpakken:"}},
      {"Czech", {0x0405},
       {"Tento instalační balíček vyžaduje Instalační službu systému Windows. Instalační služba Microsoft® "
        "Windows® (MSI) je služba systému Windows pro instalaci a konfiguraci aplikací. Chcete-li pokračovat, "
        "spusťte instalaci znovu, až bude Instalační služba systému Windows v počítači nainstalována.",
        "Instalační soubor je poškozený nebo nepodporuje architekturu vašeho procesoru.",
        "Vyberte složku, do které chcete extrahovat instalační soubory:"}},
      {"Japanese", {0x0411},
       {"このインストール パッケージには Windows インストーラーが必要です。Microsoft® Windows® インストーラー (MSI) "
        "は、Windows のアプリケーションのインストールと構成を行うサービスです。インストールを続行するには、"
        "コンピューターに Windows インストーラーをインストールしてから、もう一度開始してください。",
        "インストール ファイルが壊れているか、お使いのプロセッサ アーキテクチャに対応していません。",
        "インストール ファイルを展開するフォルダーを選択してください:"}},
      {"Chinese (Simplified)", {0x0804},
       {"此安装程序包需要 Windows Installer。Microsoft® Windows® Installer (MSI) 是 Windows "
        "的应用程序安装和配置服务。若要继续安装，请在计算机上安装 Windows Installer 后重新启动安装。",
        "安装文件已损坏，或者不支持你的处理器体系结构。",
        "请选择要将安装文件解压到的文件夹："}},
      {"Chinese (Traditional)", {0x0404, 0x0C04},
       {"此安裝套件需要 Windows Installer。Microsoft® Windows® Installer (MSI) 是 Windows "
        "的應用程式安裝與設定服務。若要繼續安裝，請在電腦上安裝 Windows Installer 後重新啟動安裝。",
        "安裝檔案已損毀，或不支援您的處理器架構。",
        "請選取要將安裝檔案解壓縮到的資料夾："},
       {0x1404, 0x7C04}},
      {"Korean", {0x0412},
       {"이 설치 패키지를 사용하려면 Windows Installer가 필요합니다. Microsoft® Windows® Installer(MSI)는 "
        "Windows의 응용 프로그램 설치 및 구성 서비스입니다. 설치를 계속하려면 컴퓨터에 Windows Installer를 "
        "설치한 후 설치를 다시 시작하십시오.",
        "설치 파일이 손상되었거나 사용 중인 프로세서 아키텍처를 지원하지 않습니다.",
        "설치 파일의 압축을 풀 폴더를 선택하십시오:"}},
  };
  return table;
}

const MessageTranslation* translation_for(uint32_t language) {
  for (const MessageTranslation& t : message_translations()) {
    for (const std::vector<uint16_t>* ids : {&t.written_as, &t.also_for}) {
      if (std::find(ids->begin(), ids->end(), language) != ids->end()) return &t;
    }
  }
  for (const MessageTranslation& t : message_translations()) {
    if ((t.written_as.front() & 0x3FF) == (language & 0x3FF)) return &t;
  }
  return nullptr;
}

}  // namespace msiboot_tool
