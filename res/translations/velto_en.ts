<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>CAboutDlg</name>
    <message>
        <source>バージョン情報 Velto</source>
        <translation>About Velto</translation>
    </message>
</context>
<context>
    <name>CChildView</name>
    <message>
        <source>抽出した%1の振幅</source>
        <translation>Extracted %1 amplitude</translation>
    </message>
    <message>
        <source>補正した%1の振幅</source>
        <translation>Corrected %1 amplitude</translation>
    </message>
    <message>
        <source>%1 標準電波受信モニター</source>
        <translation>%1 time-signal monitor</translation>
    </message>
</context>
<context>
    <name>CClockFeedDlg</name>
    <message>
        <source>時計合わせの設定</source>
        <translation>Clock Setting</translation>
    </message>
    <message>
        <source>受信した時刻を chronyd に送る</source>
        <translation>Send the received time to chronyd</translation>
    </message>
    <message>
        <source>chronyd のソケット:</source>
        <translation>chronyd socket:</translation>
    </message>
    <message>
        <source>受信機の遅延:</source>
        <translation>Receiver delay:</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>chrony.conf: refclock SOCK &lt;ソケット&gt; refid JJY poll 2</source>
        <translation>chrony.conf: refclock SOCK &lt;socket&gt; refid JJY poll 2</translation>
    </message>
    <message>
        <source>chronyd のソケットのパスが空か、長すぎます。</source>
        <translation>The chronyd socket path is empty or too long.</translation>
    </message>
</context>
<context>
    <name>CClockStatus</name>
    <message>
        <source>8888年88月88日(月) 88:88:88 JST</source>
        <translation>Wed 8888-88-88 88:88:88 CEST</translation>
    </message>
    <message>
        <source>PC時計 +8888.8 ms</source>
        <translation>PC clock +8888.8 ms</translation>
    </message>
    <message>
        <source>PCの時計とJJYの差 (PCが進んでいれば正)</source>
        <translation>The PC clock minus the received time (positive when the PC is ahead)</translation>
    </message>
    <message>
        <source>PC時計 %1</source>
        <translation>PC clock %1</translation>
    </message>
</context>
<context>
    <name>CMainFrame</name>
    <message>
        <source>上書きする</source>
        <translation>Overwrite</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>実波形</source>
        <translation>Waveform</translation>
    </message>
    <message>
        <source>受信ログを書き込めません。受信は続いています。
</source>
        <translation>The reception log cannot be written. Reception goes on.
</translation>
    </message>
    <message>
        <source>受信(&amp;R)</source>
        <translation>&amp;Receive</translation>
    </message>
    <message>
        <source>開始(&amp;S)	Space</source>
        <translation>&amp;Start	Space</translation>
    </message>
    <message>
        <source>ファイルを開く(&amp;O)...</source>
        <translation>&amp;Open File...</translation>
    </message>
    <message>
        <source>録音(&amp;R)...</source>
        <translation>&amp;Record...</translation>
    </message>
    <message>
        <source>サウンドカードの設定(&amp;C)...</source>
        <translation>Sound &amp;Card...</translation>
    </message>
    <message>
        <source>時計合わせの設定(&amp;K)...</source>
        <translation>Cloc&amp;k Setting...</translation>
    </message>
    <message>
        <source>実波形(&amp;W)</source>
        <translation>&amp;Waveform</translation>
    </message>
    <message>
        <source>タイムコード(&amp;T)</source>
        <translation>&amp;Time Code</translation>
    </message>
    <message>
        <source>スペクトル(&amp;P)</source>
        <translation>S&amp;pectrum</translation>
    </message>
    <message>
        <source>アプリケーションの終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>バージョン情報 Velto(&amp;A)...</source>
        <translation>&amp;About Velto...</translation>
    </message>
    <message>
        <source>ファイルの終わりまで再生しました。
</source>
        <translation>Played to the end of the file.
</translation>
    </message>
    <message>
        <source>このファイルは再生できません。
</source>
        <translation>This file cannot be played.
</translation>
    </message>
    <message>
        <source>既定のデバイス</source>
        <translation>Default device</translation>
    </message>
    <message>
        <source>開始	Space</source>
        <translation>Start	Space</translation>
    </message>
    <message>
        <source>停止	Space</source>
        <translation>Stop	Space</translation>
    </message>
    <message>
        <source>%1 はすでにあります。
上書きしますか?</source>
        <translation>%1 already exists.
Do you want to overwrite it?</translation>
    </message>
    <message>
        <source>録音を開始できません。
</source>
        <translation>Recording cannot start.
</translation>
    </message>
    <message>
        <source>録音を停止しました。受信は続いています。
</source>
        <translation>Recording stopped. Reception goes on.
</translation>
    </message>
    <message>
        <source>
受信はモニター音なしで続きます。</source>
        <translation>
Reception goes on without the monitor tone.</translation>
    </message>
    <message>
        <source>このファイルに %1 の信号は見つかりませんでした。ほかの局を受信するには、「サウンドカードの設定」で局を選んでから開き直してください。</source>
        <translation>No signal of %1 was found in this file. To receive another station from it, choose the station under &quot;Sound Card&quot; and open the file again.</translation>
    </message>
</context>
<context>
    <name>CScope</name>
    <message>
        <source>オシロスコープ</source>
        <translation>Oscilloscope</translation>
    </message>
</context>
<context>
    <name>CSoundCardDlg</name>
    <message>
        <source>既定のデバイス</source>
        <translation>Default device</translation>
    </message>
    <message>
        <source>サウンドカードの設定</source>
        <translation>Sound Card</translation>
    </message>
    <message>
        <source>受信する局(&amp;S):</source>
        <translation>&amp;Station:</translation>
    </message>
    <message>
        <source>サンプリングレート(&amp;F):</source>
        <translation>Sample &amp;rate:</translation>
    </message>
    <message>
        <source>録音デバイス(&amp;D):</source>
        <translation>Capture &amp;device:</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>%1 の搬送波を受けるには、%2 で録音できるデバイスが必要です。サウンドサーバー (PipeWire、PulseAudio) を通る既定のデバイスはたいてい 48 kHz なので、カードのハードウェアデバイス (名前に hw: を含むもの) を選んでください。</source>
        <translation>Receiving the %1 carrier needs a device that records at %2. The default device through the sound server (PipeWire, PulseAudio) is usually 48 kHz, so choose the card&apos;s hardware device (the one with hw: in its name).</translation>
    </message>
    <message>
        <source>現在の設定: %1 (見つかりません。既定のデバイスで受信します)</source>
        <translation>Current: %1 (not found; the default device is used)</translation>
    </message>
    <message>
        <source>現在の設定: </source>
        <translation>Current: </translation>
    </message>
</context>
<context>
    <name>CSpectrumWnd</name>
    <message>
        <source>スペクトル</source>
        <translation>Spectrum</translation>
    </message>
    <message>
        <source>%1 Hz&#x3000;%2 dB/Hz</source>
        <translation>%1 Hz  %2 dB/Hz</translation>
    </message>
    <message>
        <source>%1 Hz (%2 Hz)&#x3000;%3 dB/Hz&#x3000;%4 秒前</source>
        <translation>%1 Hz (%2 Hz)  %3 dB/Hz  %4 s ago</translation>
    </message>
    <message>
        <source>受信を開始するとスペクトルを表示します</source>
        <translation>The spectrum shows once reception starts</translation>
    </message>
    <message>
        <source>搬送波 ±500 Hz (1 Hz)、1秒ごと</source>
        <translation>Carrier ±500 Hz (1 Hz), every second</translation>
    </message>
    <message>
        <source>搬送波 ±25 Hz (0.05 Hz)、1秒ごと</source>
        <translation>Carrier ±25 Hz (0.05 Hz), every second</translation>
    </message>
    <message>
        <source>(手動)</source>
        <translation>(manual)</translation>
    </message>
    <message>
        <source>(自動)</source>
        <translation>(auto)</translation>
    </message>
    <message>
        <source>ホイール: 色の範囲を移動&#x3000;Shift+ホイール: 幅を変更&#x3000;ダブルクリック: 色を自動に戻す (スペクトル上ではピークホールドをリセット)</source>
        <translation>Wheel: move the colour range  Shift+wheel: change its width  Double-click: automatic colours (on the spectrum: reset the peak hold)</translation>
    </message>
</context>
<context>
    <name>CStatusBar</name>
    <message>
        <source>時計合わせ: </source>
        <translation>Clock: </translation>
    </message>
    <message>
        <source>入力を調べています…</source>
        <translation>Checking the input…</translation>
    </message>
    <message>
        <source>受信中</source>
        <translation>Receiving</translation>
    </message>
    <message>
        <source>既定のデバイス</source>
        <translation>Default device</translation>
    </message>
    <message>
        <source>録音デバイス: </source>
        <translation>Capture device: </translation>
    </message>
    <message>
        <source>送れません</source>
        <translation>cannot send</translation>
    </message>
    <message>
        <source>%1 秒前に送信</source>
        <translation>sent %1 s ago</translation>
    </message>
    <message>
        <source>時刻の確定待ち</source>
        <translation>waiting for the time</translation>
    </message>
    <message>
        <source>chronyd がサンプルを最後に受け取ってからの時間</source>
        <translation>Time since chronyd last took a sample</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source> (ほかに %1 件)</source>
        <translation> (%1 more)</translation>
    </message>
    <message>
        <source>入力は良好です (%1 kHz 以上の成分があります)</source>
        <translation>Input is good (there is content above %1 kHz)</translation>
    </message>
</context>
<context>
    <name>CTimeCodeWnd</name>
    <message>
        <source>データなし</source>
        <translation>No data</translation>
    </message>
    <message>
        <source>現在</source>
        <translation>now</translation>
    </message>
    <message>
        <source>タイムコード</source>
        <translation>Time Code</translation>
    </message>
    <message>
        <source>1時間</source>
        <translation>1 hour</translation>
    </message>
    <message>
        <source>24時間</source>
        <translation>24 hours</translation>
    </message>
    <message>
        <source>7日</source>
        <translation>7 days</translation>
    </message>
    <message>
        <source>呼出符号</source>
        <translation>Call sign</translation>
    </message>
    <message>
        <source>マーカー</source>
        <translation>Marker</translation>
    </message>
    <message>
        <source>判定不能</source>
        <translation>Unreadable</translation>
    </message>
    <message>
        <source>呼出符号 (JJY)</source>
        <translation>Call sign (JJY)</translation>
    </message>
    <message>
        <source>解読した分はまだありません</source>
        <translation>No minute decoded yet</translation>
    </message>
    <message>
        <source>最後に解読した分:  時 %1&#x3000;分 %2&#x3000;通算日 %3&#x3000;年 %4&#x3000;曜日 %5</source>
        <translation>Last decoded minute:  hour %1  minute %2  day of year %3  year %4  weekday %5</translation>
    </message>
    <message>
        <source>PA1 %1&#x3000;PA2 %2&#x3000;信頼度 %3%</source>
        <translation>PA1 %1  PA2 %2  confidence %3%</translation>
    </message>
    <message>
        <source>&#x3000;(フライホイール)</source>
        <translation>  (flywheel)</translation>
    </message>
    <message>
        <source>うるう秒予告: 今月末 (UTC) に1秒挿入</source>
        <translation>Leap second announced: one second inserted at the end of this month (UTC)</translation>
    </message>
    <message>
        <source>うるう秒予告: 今月末 (UTC) に1秒削除</source>
        <translation>Leap second announced: one second removed at the end of this month (UTC)</translation>
    </message>
    <message>
        <source>呼出符号の分: 年・曜日・うるう秒の符号は送られません</source>
        <translation>Call-sign minute: the year, weekday and leap-second bits are not sent</translation>
    </message>
    <message>
        <source>うるう秒</source>
        <translation>Leap second</translation>
    </message>
    <message>
        <source>クロック偏差 %1%2 ppm</source>
        <translation>Clock deviation %1%2 ppm</translation>
    </message>
    <message>
        <source>オンタイム点のずれ (サンプルクロック基準, 過去10分) [ms]</source>
        <translation>On-time point offset (sample clock, last 10 min) [ms]</translation>
    </message>
    <message>
        <source>-10分</source>
        <translation>-10 min</translation>
    </message>
    <message>
        <source>-5分</source>
        <translation>-5 min</translation>
    </message>
    <message>
        <source>C/N0 (過去1時間, 10秒平均) [dB-Hz]</source>
        <translation>C/N0 (last hour, 10 s mean) [dB-Hz]</translation>
    </message>
    <message>
        <source>-60分</source>
        <translation>-60 min</translation>
    </message>
    <message>
        <source>-30分</source>
        <translation>-30 min</translation>
    </message>
    <message>
        <source>パリティ %1&#x3000;信頼度 %2%</source>
        <translation>Parity %1  confidence %2%</translation>
    </message>
    <message>
        <source>信頼度 %1%</source>
        <translation>Confidence %1%</translation>
    </message>
</context>
<context>
    <name>Device</name>
    <message>
        <source>シミュレーター (内蔵)</source>
        <translation>Simulator (built-in)</translation>
    </message>
</context>
<context>
    <name>FileDialogs</name>
    <message>
        <source>場所:</source>
        <translation>Look in:</translation>
    </message>
    <message>
        <source>ファイル名:</source>
        <translation>File name:</translation>
    </message>
    <message>
        <source>ファイルの種類:</source>
        <translation>Files of type:</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>録音 (%1);;</source>
        <translation>Recordings (%1);;</translation>
    </message>
    <message>
        <source>;;すべてのファイル (*)</source>
        <translation>;;All files (*)</translation>
    </message>
    <message>
        <source>ファイルを開く</source>
        <translation>Open File</translation>
    </message>
    <message>
        <source>開く</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>録音</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
</context>
<context>
    <name>ProfileProblem</name>
    <message>
        <source>設定を保存できませんでした。%1 に書き込めません。</source>
        <translation>The settings could not be saved: %1 cannot be written.</translation>
    </message>
    <message>
        <source>設定ファイル %1 の次の値は使えないため、→ の後の値を使います。</source>
        <translation>These values in the settings file %1 will not do; Velto uses the values after the arrows instead.</translation>
    </message>
</context>
<context>
    <name>ReceptionChart</name>
    <message>
        <source>C/N0 (dB-Hz)&#x3000;過去1時間</source>
        <translation>C/N0 (dB-Hz)  last hour</translation>
    </message>
    <message>
        <source>C/N0 (dB-Hz)&#x3000;過去24時間</source>
        <translation>C/N0 (dB-Hz)  last 24 hours</translation>
    </message>
    <message>
        <source>C/N0 (dB-Hz)&#x3000;過去7日間</source>
        <translation>C/N0 (dB-Hz)  last 7 days</translation>
    </message>
    <message>
        <source>-60分</source>
        <translation>-60 min</translation>
    </message>
    <message>
        <source>-24時間</source>
        <translation>-24 h</translation>
    </message>
    <message>
        <source>-7日</source>
        <translation>-7 days</translation>
    </message>
    <message>
        <source>現在</source>
        <translation>now</translation>
    </message>
    <message>
        <source>記録なし</source>
        <translation>No records</translation>
    </message>
</context>
<context>
    <name>SpectrumPlot</name>
    <message>
        <source>%1 〜 %2 dB/Hz %3</source>
        <translation>%1 to %2 dB/Hz %3</translation>
    </message>
    <message>
        <source>雑音レベル %1 dB/Hz&#x3000;搬送波 %2 dB&#x3000;雑音との差 %3 dB-Hz&#x3000;搬送波のずれ %4 Hz</source>
        <translation>Noise %1 dB/Hz  carrier %2 dB  above noise %3 dB-Hz  carrier offset %4 Hz</translation>
    </message>
    <message>
        <source>近くの定常搬送波: なし</source>
        <translation>Steady carriers nearby: none</translation>
    </message>
    <message>
        <source>近くの定常搬送波: </source>
        <translation>Steady carriers nearby: </translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
</context>
<context>
    <name>SpectrumPng</name>
    <message>
        <source>Velto スペクトル&#x3000;%1 Hz&#x3000;搬送波 %2 kHz&#x3000;%3 秒</source>
        <translation>Velto spectrum  %1 Hz  carrier %2 kHz  %3 s</translation>
    </message>
    <message>
        <source>搬送波 ±500 Hz (1 Hz)</source>
        <translation>Carrier ±500 Hz (1 Hz)</translation>
    </message>
    <message>
        <source>搬送波 ±25 Hz (0.05 Hz)</source>
        <translation>Carrier ±25 Hz (0.05 Hz)</translation>
    </message>
</context>
<context>
    <name>TimeTexts</name>
    <message>
        <source>無信号</source>
        <translation>No signal</translation>
    </message>
    <message>
        <source>秒同期</source>
        <translation>Second sync</translation>
    </message>
    <message>
        <source>分同期</source>
        <translation>Minute sync</translation>
    </message>
    <message>
        <source>時刻確定</source>
        <translation>Time valid</translation>
    </message>
    <message>
        <source>フライホイール</source>
        <translation>Flywheel</translation>
    </message>
    <message>
        <source>日</source>
        <translation>Sun</translation>
    </message>
    <message>
        <source>月</source>
        <translation>Mon</translation>
    </message>
    <message>
        <source>火</source>
        <translation>Tue</translation>
    </message>
    <message>
        <source>水</source>
        <translation>Wed</translation>
    </message>
    <message>
        <source>木</source>
        <translation>Thu</translation>
    </message>
    <message>
        <source>金</source>
        <translation>Fri</translation>
    </message>
    <message>
        <source>土</source>
        <translation>Sat</translation>
    </message>
    <message>
        <source>%1年%2月%3日(%4) %5:%6:%7 %8</source>
        <translation>%4 %1-%2-%3 %5:%6:%7 %8</translation>
    </message>
</context>
<context>
    <name>Warning</name>
    <message>
        <source>入力が飽和しています。入力レベルを下げてください</source>
        <translation>The input is clipping. Lower the input level</translation>
    </message>
    <message>
        <source>入力が無音です。接続と録音デバイスを確認してください</source>
        <translation>The input is silent. Check the connection and the capture device</translation>
    </message>
    <message>
        <source>録音デバイスが失われたため、受信を停止しました</source>
        <translation>The capture device was lost; reception stopped</translation>
    </message>
    <message>
        <source>24 kHz 以上の成分がありません (サウンドサーバーが 48 kHz)。「サウンドカードの設定」で hw: デバイスを選んでください</source>
        <translation>Nothing above 24 kHz (the sound server runs at 48 kHz). Choose an hw: device under &quot;Sound Card&quot;</translation>
    </message>
    <message>
        <source>48 kHz 以上の成分がありません (サウンドサーバーが 96 kHz 以下)。「サウンドカードの設定」で hw: デバイスを選んでください</source>
        <translation>Nothing above 48 kHz (the sound server runs at 96 kHz or less). Choose an hw: device under &quot;Sound Card&quot;</translation>
    </message>
    <message>
        <source>%1 ms 分のサンプルが失われました (この受信で計 %2 ms)</source>
        <translation>%1 ms of samples lost (%2 ms in this run)</translation>
    </message>
    <message>
        <source>保存されたサウンドカード「%1」が見つかりません。既定のデバイスを使います</source>
        <translation>The stored sound card &quot;%1&quot; is not there. The default device is used</translation>
    </message>
    <message>
        <source>録音デバイスがオープンできません。</source>
        <translation>The capture device cannot be opened.</translation>
    </message>
    <message>
        <source>再生デバイスがオープンできません。</source>
        <translation>The playback device cannot be opened.</translation>
    </message>
    <message>
        <source>標準出力の読み手が読まないか、標準出力に書けなかったため、%1 行を書きませんでした。受信は続いています</source>
        <translation>Lines left out: %1 (standard output was not read or could not be written); reception goes on</translation>
    </message>
    <message>
        <source>受信ログのフォルダ %1 にはほかの Velto (プロセス %2) が書いているため、この受信ではログを書きません</source>
        <translation>Another Velto (process %2) writes the reception log in %1, so this run keeps none</translation>
    </message>
    <message>
        <source>受信ログの鍵のファイル %1 が使えないため、この受信ではログを書きません。ほかの Velto が書いていなければ、このファイルを消してください</source>
        <translation>The reception log&apos;s lock file %1 cannot be used, so this run keeps no log; remove it unless another Velto writes there</translation>
    </message>
</context>
</TS>
