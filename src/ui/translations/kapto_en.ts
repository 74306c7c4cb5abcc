<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>Kapto</name>
    <message>
        <source>png変換</source>
        <translation>PNG conversion</translation>
    </message>
    <message>
        <source>指定色を透過</source>
        <translation>Transparent colour</translation>
    </message>
    <message>
        <source>読込</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>透過色の指定方法</source>
        <translation>Key colour</translation>
    </message>
    <message>
        <source>左上</source>
        <translation>Top left</translation>
    </message>
    <message>
        <source>左下</source>
        <translation>Bottom left</translation>
    </message>
    <message>
        <source>右上</source>
        <translation>Top right</translation>
    </message>
    <message>
        <source>右下</source>
        <translation>Bottom right</translation>
    </message>
    <message>
        <source>色</source>
        <translation>Colour</translation>
    </message>
    <message>
        <source>許容差</source>
        <translation>Tolerance</translation>
    </message>
    <message>
        <source>境界をなめらかに</source>
        <translation>Smooth edge</translation>
    </message>
    <message>
        <source>縁取</source>
        <translation>Keep rim</translation>
    </message>
    <message>
        <source>終了</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>透過率を指定</source>
        <translation>Opacity</translation>
    </message>
    <message>
        <source>透過率に元絵を使用</source>
        <translation>Alpha from brightness</translation>
    </message>
    <message>
        <source>暗いほど透過</source>
        <translation>Darker is more transparent</translation>
    </message>
    <message>
        <source>明るいほど透過</source>
        <translation>Brighter is more transparent</translation>
    </message>
    <message>
        <source>色を寄せる</source>
        <translation>Flatten colours</translation>
    </message>
    <message>
        <source>白黒反転</source>
        <translation>Invert</translation>
    </message>
    <message>
        <source>選択されている行をリストからはずす</source>
        <translation>Remove the selected lines from the list</translation>
    </message>
    <message>
        <source>リストの内容を空にする</source>
        <translation>Empty the list</translation>
    </message>
    <message>
        <source>選択されたファイルをリストからはずしてもよろしいですか？</source>
        <translation>Remove the selected files from the list?</translation>
    </message>
    <message>
        <source>リストを空にしてもいいですか？</source>
        <translation>Empty the list?</translation>
    </message>
    <message>
        <source>ファイルの上書き確認</source>
        <translation>Confirm overwrite</translation>
    </message>
    <message>
        <source>同名のファイルが存在します。処理を選択してください。</source>
        <translation>A file of that name exists. Choose what to do.</translation>
    </message>
    <message>
        <source>上書き</source>
        <translation>Overwrite</translation>
    </message>
    <message>
        <source>名前を変更(No.を付加)</source>
        <translation>Rename (add a number)</translation>
    </message>
    <message>
        <source>保存しない</source>
        <translation>Skip</translation>
    </message>
    <message>
        <source>全体の処理を中止</source>
        <translation>Stop the whole run</translation>
    </message>
    <message>
        <source>残りのファイルも同様に処理</source>
        <translation>Do the same for the remaining files</translation>
    </message>
    <message>
        <source>プレビュー</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>画像:</source>
        <translation>Picture:</translation>
    </message>
    <message>
        <source>(なし)</source>
        <translation>(none)</translation>
    </message>
    <message>
        <source>全体表示</source>
        <translation>Whole picture</translation>
    </message>
    <message>
        <source>確認</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>はい(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>いいえ(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>スキップして続行</source>
        <translation>Skip and continue</translation>
    </message>
    <message>
        <source>次のファイルは変換できなかったため、スキップしました。</source>
        <translation>These files could not be converted and were skipped.</translation>
    </message>
    <message>
        <source>次のファイルは変換しましたが、警告があります。</source>
        <translation>These files were converted with a warning.</translation>
    </message>
    <message>
        <source>描画中…</source>
        <translation>Rendering…</translation>
    </message>
    <message>
        <source>変換結果のプレビュー</source>
        <translation>Conversion preview</translation>
    </message>
    <message>
        <source>%1 - 変換結果のプレビュー</source>
        <translation>%1 - Conversion preview</translation>
    </message>
    <message>
        <source>ファイルサイズを最適化</source>
        <translation>Smallest file size</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>%1 件変換 %2 件スキップ %3 件失敗</source>
        <translation>%1 converted, %2 skipped, %3 failed</translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>以降もスキップ</source>
        <translation>Skip all</translation>
    </message>
    <message>
        <source>コピー</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>元のファイルを置き換えます (透過や色数は失われます)</source>
        <translation>This replaces the source itself (its transparency and colours are lost)</translation>
    </message>
    <message>
        <source>変換元: %1</source>
        <translation>Source: %1</translation>
    </message>
    <message>
        <source>この変換で先に %1 から書き出したファイルです</source>
        <translation>Written from %1 earlier in this run</translation>
    </message>
    <message>
        <source>変換するファイル</source>
        <translation>Files to convert</translation>
    </message>
    <message>
        <source>進行状況</source>
        <translation>Progress</translation>
    </message>
</context>
</TS>
