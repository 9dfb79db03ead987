SELECT 'a;b' /* ; */ -- ;
; 